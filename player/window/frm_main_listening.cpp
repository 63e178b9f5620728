// The player block's listening controls: the speed (a list, and the keys [
// and ] that step it), "Skip silence", the volume slider 0-200 % with
// "Normalize". They set the process's MediaPlayer, which keeps them for the
// next recording; the volume is also remembered for the next run. None of
// them takes the focus, so the grid's keys keep driving the player.
#include "frm_main.h"
#include "player/core/playback/listening.h"
#include "player/core/process_state.h"

namespace player {
namespace {

QString SpeedCaption(std::int32_t thousandths) {
    return QString::number(thousandths / 1000.0) + QString::fromUtf8("\u00d7");
}

}  // namespace

void frmMain::BuildListening(QBoxLayout* block) {
    auto* speedRow = new QHBoxLayout;
    speedRow->setSpacing(4);
    speedRow->addWidget(new QLabel("Speed", framPlayer));
    cmbSpeed = new QComboBox(framPlayer);
    cmbSpeed->setObjectName("cmbSpeed");
    for (std::int32_t speed : kSpeedSteps) cmbSpeed->addItem(SpeedCaption(speed), speed);
    cmbSpeed->setFocusPolicy(Qt::NoFocus);
    cmbSpeed->setToolTip("Playing speed, the pitch kept ([ slower, ] faster)");
    speedRow->addWidget(cmbSpeed);
    speedRow->addStretch();
    chkSkipSilence = new QCheckBox("Skip silence", framPlayer);
    chkSkipSilence->setObjectName("chkSkipSilence");
    chkSkipSilence->setFocusPolicy(Qt::NoFocus);
    chkSkipSilence->setToolTip("Jump over silence longer than a second");
    speedRow->addWidget(chkSkipSilence);
    block->addLayout(speedRow);

    auto* volumeRow = new QHBoxLayout;
    volumeRow->setSpacing(4);
    volumeRow->addWidget(new QLabel("Volume", framPlayer));
    sldVolume = new QSlider(Qt::Horizontal, framPlayer);
    sldVolume->setObjectName("sldVolume");
    sldVolume->setRange(0, kLargestVolumePercent);
    sldVolume->setPageStep(10);
    sldVolume->setFocusPolicy(Qt::NoFocus);
    volumeRow->addWidget(sldVolume, 1);
    lblVolume = new QLabel(framPlayer);
    lblVolume->setObjectName("lblVolume");
    lblVolume->setMinimumWidth(lblVolume->fontMetrics().horizontalAdvance("200%") + 4);
    lblVolume->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    volumeRow->addWidget(lblVolume);
    cmdNormalize = new QPushButton("Normalize", framPlayer);
    cmdNormalize->setObjectName("cmdNormalize");
    cmdNormalize->setFocusPolicy(Qt::NoFocus);
    cmdNormalize->setEnabled(false);  // while nothing plays
    cmdNormalize->setToolTip("Set the volume that brings the recording's loudest sample to -3 dBFS");
    volumeRow->addWidget(cmdNormalize);
    block->addLayout(volumeRow);
}

// The controls start from what the player keeps and the remembered volume;
// a volume settles (and is remembered) when the handle is let go.
void frmMain::ConnectListening() {
    MediaPlayer& player = *Process().Player;
    cmbSpeed->setCurrentIndex(cmbSpeed->findData(StepSpeed(player.Speed(), 0)));
    chkSkipSilence->setChecked(player.SkipSilence());
    const std::int32_t volume = ReadVolumePercent();
    sldVolume->setValue(volume);
    lblVolume->setText(QString("%1%").arg(volume));
    player.mmVolume(volume * 10);

    connect(cmbSpeed, &QComboBox::currentIndexChanged, this,
            [this] { Process().Player->mmSpeed(cmbSpeed->currentData().toInt()); });
    connect(chkSkipSilence, &QCheckBox::toggled, this, [](bool on) { Process().Player->mmSkipSilence(on); });
    connect(sldVolume, &QSlider::valueChanged, this, [this](int percent) {
        lblVolume->setText(QString("%1%").arg(percent));
        Process().Player->mmVolume(percent * 10);
        if (!sldVolume->isSliderDown()) WriteVolumePercent(percent);
    });
    connect(sldVolume, &QSlider::sliderReleased, this, [this] { WriteVolumePercent(sldVolume->value()); });
    connect(cmdNormalize, &QPushButton::clicked, this, [this] {
        if (const auto percent = NormalizedVolumePercent()) sldVolume->setValue(*percent);
    });
}

void frmMain::StepSpeedBy(int steps) {
    cmbSpeed->setCurrentIndex(cmbSpeed->findData(StepSpeed(cmbSpeed->currentData().toInt(), steps)));
}

}  // namespace player
