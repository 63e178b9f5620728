// The automatic gain control the worker applies to recordings that carry
// the gain-control marker: it follows the signal's power and pulls the gain
// down when the output would be louder than the target, never raising it
// above 1, so quiet speech passes unchanged and loud speech is tamed.
//
// The state is kept in single precision and the sample scale is the double
// 3.0517578e-05 (a hair below 1/32768): recordings converted before were
// made with exactly this arithmetic, and changing either changes their
// samples. Inline, because it runs once per sample.
#pragma once

#include <cstdint>

namespace velk {

struct AgcState {
    float gain = 1.0f;
    float power = 0.0f;
    float outPower = 0.0f;
    float target = 0.45f;
};

inline int16_t AgcSample(AgcState& st, int16_t s) {
    const double n = s * 3.0517578e-05;
    st.power = float(0.8 * n * n + 0.2 * st.power);
    float g = float(st.gain * (1.0 + 2.0 * (st.target - st.outPower) * st.power / (st.power + 2.0)));
    if (g >= 1.0f) g = 1.0f;
    st.gain = g;
    st.outPower = g * g * st.power;
    return int16_t(g * float(s));  // |g| <= 1: fits, truncated toward zero
}

}  // namespace velk
