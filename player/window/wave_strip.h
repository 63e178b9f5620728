// player/window: the waveform strip, picWaveform, under the result grid and
// as wide as it: the loaded recording's peaks, its silences as bands, the
// part already played shaded and the count as a line; a click or a drag
// plays from there; the recording's bookmarks are marks along its top. The peaks are read on a thread of their own
// (WaveformJob), which the strip polls and drops with the recording.
// docs/playback.md ("The waveform").
#pragma once

#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "player/core/notes/notes_store.h"
#include "player/core/playback/waveform.h"
#include "player/core/playback/waveform_job.h"

namespace player {

class WaveStrip : public QWidget {
public:
    explicit WaveStrip(QWidget* parent = nullptr);
    ~WaveStrip() override;

    // Follows what playback left in the process state: a newly loaded
    // recording starts the reading of its waveform (the one before is
    // dropped), the count moves the line. frmMain's DrawPlayerBlock calls it.
    void ShowPlayback();
    // The waveform drawn, once its thread has handed it over.
    const Waveform* Shown() const { return waveform_ ? &*waveform_ : nullptr; }
    // What the tooltip says at x: "silence 00:01:12, 4 s" or "speech ...",
    // and the label of a bookmark there; "" with no waveform.
    QString StretchAt(int x) const;
    // Reads the loaded recording's bookmarks again (after the notes panel
    // changed them); they are drawn as marks along the strip's top.
    void ReloadBookmarks();
    const std::vector<Bookmark>& Bookmarks() const { return bookmarks_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void TakeWaveform();
    double SecondsAt(int x) const;
    int XOf(double seconds) const;

    std::string recording_;  // the recording whose waveform is read or shown
    std::unique_ptr<WaveformJob> job_;
    std::optional<Waveform> waveform_;
    int loudest_ = 1;  // the largest sample, which the strip's height is scaled to
    QTimer poll_;
    std::optional<int> dragX_;  // where the mouse holds the line
    std::vector<Bookmark> bookmarks_;  // of recording_
};

}  // namespace player
