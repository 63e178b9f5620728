// What the recording stand-in for AuralWren2 notes about the calls the
// bridge makes into it, read by the tests through its extra export.
#pragma once

#include <cstdint>

namespace wren2_standin {

struct BlockCall {
    int32_t entry;  // 3 or 7: which block entry was called
    const void* in;
    void* out;
    int32_t flag;   // Wren2Call7 only
};

struct Record {
    int32_t encoderInits = 0;
    int32_t decoderInits = 0;
    int32_t blockCalls = 0;  // may exceed the log's length; only the first are logged
    BlockCall log[32] = {};
};

using RecordFn = Record* (*)();
inline constexpr const char* kRecordName = "Wren2StandInRecord";

}  // namespace wren2_standin
