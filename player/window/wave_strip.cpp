// The waveform strip (wave_strip.h): each column of pixels draws the lowest
// and highest sample of the buckets that fall into it, so a repaint costs
// the buckets (4096) and the strip's width, never the recording's length.
#include "wave_strip.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "player/core/playback/durations.h"
#include "player/core/playback/playback.h"
#include "player/core/process_state.h"

namespace player {
namespace {

constexpr int kPollMilliseconds = 50;
const QColor kSilenceBand(120, 140, 170, 60);
const QColor kPositionLine(200, 30, 30);
const QColor kBookmarkMark(230, 150, 0);

// "silence 00:01:12, 4 s": the stretch's start and its length in whole seconds.
QString Stretch(const char* what, double start, double length) {
    return QString("%1 %2, %3 s")
        .arg(what, QString::fromStdString(FormatTime(static_cast<std::int32_t>(start))))
        .arg(std::max<long>(1, std::lround(length)));
}

}  // namespace

WaveStrip::WaveStrip(QWidget* parent) : QWidget(parent) {
    setObjectName("picWaveform");
    setMinimumHeight(56);
    setMaximumHeight(72);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_OpaquePaintEvent);
    poll_.setInterval(kPollMilliseconds);
    connect(&poll_, &QTimer::timeout, this, [this] { TakeWaveform(); });
}

WaveStrip::~WaveStrip() = default;  // the job's thread is stopped and joined with it

void WaveStrip::ShowPlayback() {
    const std::string& loaded = Process().CurrentRecordFile;
    if (loaded != recording_) {
        recording_ = loaded;
        job_.reset();
        waveform_.reset();
        poll_.stop();
        if (!loaded.empty()) {
            if (auto wav = platform::mci::WavFile::Open(ConvertTempFile())) {
                job_ = std::make_unique<WaveformJob>(std::move(*wav));
                poll_.start();
            }
        }
        setCursor(Qt::ArrowCursor);
        ReloadBookmarks();
    }
    update();
}

void WaveStrip::ReloadBookmarks() {
    bookmarks_.clear();
    if (!recording_.empty() && !Process().IsExiting) {
        try {
            bookmarks_ = LoadAnnotations(recording_).bookmarks;
        } catch (const std::exception&) {  // an index without notes: no marks, the waveform stands
        }
    }
    update();
}

void WaveStrip::TakeWaveform() {
    if (!job_) return;
    std::optional<Waveform> waveform = job_->Take();
    if (!waveform) return;
    job_.reset();
    poll_.stop();
    if (waveform->peaks.empty()) return;  // nothing to draw: no frames, or no memory to read them
    loudest_ = 1;
    for (const Waveform::Peak& p : waveform->peaks) loudest_ = std::max({loudest_, -int{p.low}, int{p.high}});
    loudest_ = std::max(loudest_, 1024);  // a silent call is not blown up to the strip's height
    waveform_ = std::move(waveform);
    setCursor(Qt::PointingHandCursor);
    update();
}

double WaveStrip::SecondsAt(int x) const {
    const int w = std::max(1, width());
    return std::clamp(static_cast<double>(x) / w, 0.0, 1.0) * waveform_->Seconds();
}

int WaveStrip::XOf(double seconds) const {
    const double length = waveform_->Seconds();
    return length > 0 ? static_cast<int>(std::lround(seconds / length * width())) : 0;
}

void WaveStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect r = rect();
    painter.fillRect(r, palette().color(QPalette::Base));
    const int mid = r.height() / 2, half = std::max(1, r.height() / 2 - 2);
    painter.setPen(palette().color(QPalette::Midlight));
    painter.drawLine(0, mid, r.width(), mid);
    if (!waveform_) {
        if (job_) {
            painter.setPen(palette().color(QPalette::PlaceholderText));
            painter.drawText(r, Qt::AlignCenter, QString::fromUtf8("Reading the waveform\u2026"));
        }
        return;
    }
    const Waveform& w = *waveform_;
    for (const platform::mci::SilenceBand& band : w.silences) {
        const int x0 = XOf(static_cast<double>(band.firstFrame) / w.rate);
        const int x1 = XOf(static_cast<double>(band.firstFrame + band.frameCount) / w.rate);
        painter.fillRect(x0, 0, std::max(1, x1 - x0), r.height(), kSilenceBand);
    }
    const PlayerProcess& p = Process();
    const bool playing = p.IsPlaying && p.CurrentRecordFile == recording_;
    const int played = playing ? XOf(p.CurrentPosition) : 0;
    if (played > 0) {
        QColor shade = palette().color(QPalette::Highlight);
        shade.setAlpha(45);
        painter.fillRect(0, 0, played, r.height(), shade);
    }

    // One vertical line a column: the lowest and highest sample of its buckets.
    const std::size_t n = w.peaks.size(), columns = static_cast<std::size_t>(std::max(1, r.width()));
    std::vector<QLine> lines;
    lines.reserve(columns);
    for (std::size_t x = 0; x < columns; ++x) {
        const std::size_t first = x * n / columns, last = std::max(first + 1, (x + 1) * n / columns);
        int low = w.peaks[first].low, high = w.peaks[first].high;
        for (std::size_t b = first + 1; b < last && b < n; ++b) {
            low = std::min<int>(low, w.peaks[b].low);
            high = std::max<int>(high, w.peaks[b].high);
        }
        const int x0 = static_cast<int>(x);
        lines.emplace_back(x0, mid - high * half / loudest_, x0, mid - low * half / loudest_);
    }
    const auto split = static_cast<std::size_t>(std::clamp(played, 0, static_cast<int>(columns)));
    painter.setPen(palette().color(QPalette::Highlight).darker(130));
    painter.drawLines(lines.data(), static_cast<int>(split));
    painter.setPen(palette().color(QPalette::Mid).darker(140));
    painter.drawLines(lines.data() + split, static_cast<int>(columns - split));

    painter.setPen(Qt::NoPen);
    painter.setBrush(kBookmarkMark);
    for (const Bookmark& b : bookmarks_) {
        const int x = XOf(static_cast<double>(b.second));
        const QPoint flag[] = {{x - 4, 0}, {x + 4, 0}, {x, 7}};
        painter.drawPolygon(flag, 3);
        painter.fillRect(x, 0, 1, r.height(), kBookmarkMark);
    }
    if (playing) painter.fillRect(std::min(played, r.width() - 2), 0, 2, r.height(), kPositionLine);
    if (dragX_) {
        painter.setPen(QPen(kPositionLine, 1, Qt::DashLine));
        painter.drawLine(*dragX_, 0, *dragX_, r.height());
    }
}

QString WaveStrip::StretchAt(int x) const {
    if (!waveform_) return {};
    for (const Bookmark& b : bookmarks_)
        if (std::abs(XOf(static_cast<double>(b.second)) - x) <= 4)
            return QString("bookmark %1: %2")
                .arg(QString::fromStdString(FormatTime(static_cast<std::int32_t>(b.second))),
                     QString::fromStdString(b.label));
    const Waveform& w = *waveform_;
    const double at = SecondsAt(x);
    double speechFrom = 0;
    for (const platform::mci::SilenceBand& band : w.silences) {
        const double start = static_cast<double>(band.firstFrame) / w.rate;
        const double end = static_cast<double>(band.firstFrame + band.frameCount) / w.rate;
        if (at < start) return Stretch("speech", speechFrom, start - speechFrom);
        if (at < end) return Stretch("silence", start, end - start);
        speechFrom = end;
    }
    return Stretch("speech", speechFrom, w.Seconds() - speechFrom);
}

bool WaveStrip::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString text = StretchAt(help->pos().x());
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), text, this);
    return true;
}

// A press puts a dashed line under the mouse, a drag moves it, and letting
// go plays from there; the count goes on meanwhile.
void WaveStrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !waveform_) return QWidget::mousePressEvent(event);
    dragX_ = std::clamp(event->position().toPoint().x(), 0, width() - 1);
    update();
}

void WaveStrip::mouseMoveEvent(QMouseEvent* event) {
    if (!dragX_) return QWidget::mouseMoveEvent(event);
    dragX_ = std::clamp(event->position().toPoint().x(), 0, width() - 1);
    update();
}

void WaveStrip::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragX_) return QWidget::mouseReleaseEvent(event);
    // The count's length may end a fraction of a second before the sound's.
    const double seconds = std::min(SecondsAt(std::clamp(event->position().toPoint().x(), 0, width())),
                                    static_cast<double>(Process().CurrentDuration));
    dragX_.reset();
    update();
    PlayFrom(static_cast<std::int32_t>(std::lround(seconds * 1000)));
}

}  // namespace player
