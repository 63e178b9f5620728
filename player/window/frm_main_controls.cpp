// The main window's controls and their layout: the "Conditions" block on
// the left, with the commands and the player block under the search
// fields, the result grid filling the rest with the waveform strip under
// it, the status bar below (the run-log echo, then the rows found). Control
// names are the ones the rest of the player and its tests refer to.
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenu>
#include <QProxyStyle>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QVBoxLayout>

#include "frm_main.h"
#include "player/core/seams.h"

namespace player {
namespace {

template <typename W>
W* Named(W* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

QDateEdit* DatePicker(const char* name, QWidget* parent) {
    auto* picker = Named(new QDateEdit(parent), name);
    picker->setDisplayFormat("yyyy-MM-dd");
    picker->setCalendarPopup(true);
    return picker;
}

QTimeEdit* TimePicker(const char* name, QWidget* parent) {
    auto* picker = Named(new QTimeEdit(parent), name);
    picker->setDisplayFormat("HH:mm:ss");
    return picker;
}

QToolButton* PictureButton(const char* name, QStyle::StandardPixmap picture, const QString& hint, QWidget* parent) {
    auto* button = Named(new QToolButton(parent), name);
    button->setIcon(parent->style()->standardIcon(picture));
    button->setToolTip(hint);
    button->setAutoRaise(false);
    button->setIconSize(QSize(20, 20));
    return button;
}

// A left click on the slider's groove puts the handle under the mouse, as
// media players do, instead of stepping a page towards it.
class JumpingSliderStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* answer) const override {
        if (hint == SH_Slider_AbsoluteSetButtons) return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, answer);
    }
};

QFrame* Rule(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

}  // namespace

void frmMain::BuildControls() {
    setObjectName("frmMain");
    setWindowTitle(kProgramTitle);
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* columns = new QHBoxLayout(central);
    columns->setContentsMargins(8, 8, 8, 4);
    columns->setSpacing(8);

    framConditions = Named(new QGroupBox("Conditions", central), "framConditions");
    framConditions->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    auto* block = new QVBoxLayout(framConditions);
    block->setSpacing(6);

    // The search fields.
    auto* fields = new QFormLayout;
    fields->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    fields->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    auto pair = [&](QWidget* a, QWidget* b) {
        auto* row = new QHBoxLayout;
        row->setSpacing(4);
        row->addWidget(a, 3);
        row->addWidget(b, 2);
        return row;
    };
    // "Range" stands beside the start; the end keeps the room it takes, so the fields line up.
    cmdRange = Named(new QPushButton("Range", framConditions), "cmdRange");
    cmdRange->setToolTip("Fill the start and the end with a range of days");
    cmdRange->setMenu(new QMenu(cmdRange));
    dtpStartDate = DatePicker("dtpStartDate", framConditions);
    dtpStartTime = TimePicker("dtpStartTime", framConditions);
    QHBoxLayout* start = pair(dtpStartDate, dtpStartTime);
    start->addWidget(cmdRange);
    fields->addRow("StartTime", start);
    dtpEndDate = DatePicker("dtpEndDate", framConditions);
    dtpEndTime = TimePicker("dtpEndTime", framConditions);
    QHBoxLayout* end = pair(dtpEndDate, dtpEndTime);
    end->addSpacing(cmdRange->sizeHint().width());
    fields->addRow("EndTime", end);
    cmbChannelNo = Named(new QComboBox(framConditions), "cmbChannelNo");
    cmbChannelNo->setMaxVisibleItems(16);
    fields->addRow("ChannelNo", cmbChannelNo);
    txtNumber = Named(new QLineEdit(framConditions), "txtNumber");
    txtNumber->setClearButtonEnabled(true);
    fields->addRow("Call Number", txtNumber);
    cmbCompare = Named(new QComboBox(framConditions), "cmbCompare");
    dtpDuration = TimePicker("dtpDuration", framConditions);
    fields->addRow("Duration", pair(cmbCompare, dtpDuration));
    chkCallIn = Named(new QCheckBox("Call In", framConditions), "chkCallIn");
    chkCallOut = Named(new QCheckBox("Call Out", framConditions), "chkCallOut");
    auto* directions = new QHBoxLayout;
    directions->addWidget(chkCallIn);
    directions->addWidget(chkCallOut);
    directions->addStretch();
    fields->addRow(QString(), directions);
    cmbTag = Named(new QComboBox(framConditions), "cmbTag");
    cmbTag->setEditable(true);
    cmbTag->setInsertPolicy(QComboBox::NoInsert);
    cmbTag->lineEdit()->setPlaceholderText("any");
    fields->addRow("Tag", cmbTag);
    txtNoteWords = Named(new QLineEdit(framConditions), "txtNoteWords");
    txtNoteWords->setClearButtonEnabled(true);
    txtNoteWords->setPlaceholderText("words of the note");
    fields->addRow("Note contains", txtNoteWords);
    txtMainFolderPath = Named(new QLineEdit(framConditions), "txtMainFolderPath");
    cmdChooseMainFolder = Named(new QPushButton("..", framConditions), "cmdChooseMainFolder");
    cmdChooseMainFolder->setFixedWidth(cmdChooseMainFolder->fontMetrics().horizontalAdvance("....") + 16);
    auto* folder = new QHBoxLayout;
    folder->setSpacing(4);
    folder->addWidget(txtMainFolderPath, 1);
    folder->addWidget(cmdChooseMainFolder);
    fields->addRow("Main Folder", folder);
    chkSearchFileEveryTime = Named(new QCheckBox("Search File EveryTime", framConditions), "chkSearchFileEveryTime");
    fields->addRow(QString(), chkSearchFileEveryTime);
    block->addLayout(fields);

    // The search commands.
    cmdShowResult = Named(new QPushButton("Show Result", framConditions), "cmdShowResult");
    cmdShowResult->setDefault(true);
    cmdRefreshRecord = Named(new QPushButton("Refresh Recordset", framConditions), "cmdRefreshRecord");
    cmdGetFileInfo = Named(new QPushButton("Refresh File Information", framConditions), "cmdGetFileInfo");
    auto* search = new QGridLayout;
    search->setSpacing(4);
    search->addWidget(cmdShowResult, 0, 0);
    search->addWidget(cmdRefreshRecord, 0, 1);
    search->addWidget(cmdGetFileInfo, 1, 0, 1, 2);
    block->addLayout(search);
    block->addWidget(Rule(framConditions));

    // The file commands and the conversion's progress.
    cmdPlayRecordFile = Named(new QPushButton("Play Select File", framConditions), "cmdPlayRecordFile");
    cmdGetWaveFile = Named(new QPushButton("Get Wave File", framConditions), "cmdGetWaveFile");
    cmdPickUpAll = Named(new QPushButton("Pickup All", framConditions), "cmdPickUpAll");
    cmdDelFile = Named(new QPushButton("Delete", framConditions), "cmdDelFile");
    cmdDelAllFile = Named(new QPushButton("DeleteAll", framConditions), "cmdDelAllFile");
    auto* files = new QGridLayout;
    files->setSpacing(4);
    files->addWidget(cmdPlayRecordFile, 0, 0);
    files->addWidget(cmdGetWaveFile, 0, 1);
    files->addWidget(cmdPickUpAll, 1, 0);
    auto* deletes = new QHBoxLayout;
    deletes->setSpacing(4);
    deletes->addWidget(cmdDelFile);
    deletes->addWidget(cmdDelAllFile);
    files->addLayout(deletes, 1, 1);
    block->addLayout(files);
    pbConvert = Named(new QProgressBar(framConditions), "pbConvert");
    pbConvert->setTextVisible(false);
    pbConvert->setFixedHeight(8);
    block->addWidget(pbConvert);

    // The player block.
    framPlayer = Named(new QGroupBox(kProgramTitle, framConditions), "framPlayer");
    auto* player = new QVBoxLayout(framPlayer);
    player->setSpacing(6);
    auto* times = new QHBoxLayout;
    times->addWidget(new QLabel("Record Duration :", framPlayer));
    lblTotalDuration = Named(new QLabel(framPlayer), "lblTotalDuration");
    // Room for the conversion's progress, so the block does not shift while it converts.
    const QString widest = QString::fromUtf8("Converting\u2026 100%");
    lblTotalDuration->setMinimumWidth(lblTotalDuration->fontMetrics().horizontalAdvance(widest));
    times->addWidget(lblTotalDuration);
    times->addStretch();
    txtTime = Named(new QLineEdit(framPlayer), "txtTime");
    txtTime->setReadOnly(true);  // until a recording plays: then a typed time seeks
    txtTime->setFocusPolicy(Qt::NoFocus);
    txtTime->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,4}(:[0-9]{0,2}){0,2}"), txtTime));
    txtTime->setAlignment(Qt::AlignCenter);
    txtTime->setFixedWidth(txtTime->fontMetrics().horizontalAdvance("000:00:00") + 16);
    times->addWidget(txtTime);
    player->addLayout(times);
    sldDuration = Named(new QSlider(Qt::Horizontal, framPlayer), "sldDuration");
    sldDuration->setRange(0, 0);
    sldDuration->setFocusPolicy(Qt::NoFocus);  // Left and Right are the window's jumps
    auto* jumping = new JumpingSliderStyle;
    jumping->setParent(sldDuration);
    sldDuration->setStyle(jumping);
    player->addWidget(sldDuration);
    cmdBackward = PictureButton("cmdBackward", QStyle::SP_MediaSeekBackward, "Back 10 seconds", framPlayer);
    cmdPlay = PictureButton("cmdPlay", QStyle::SP_MediaPlay, "Play", framPlayer);
    cmdPause = PictureButton("cmdPause", QStyle::SP_MediaPause, "Pause", framPlayer);
    CmdStop = PictureButton("CmdStop", QStyle::SP_MediaStop, "Stop", framPlayer);
    cmdForeward = PictureButton("cmdForeward", QStyle::SP_MediaSeekForward, "Forward 10 seconds", framPlayer);
    auto* transport = new QHBoxLayout;
    transport->setSpacing(4);
    transport->addStretch();
    for (QToolButton* button : {cmdBackward, cmdPlay, cmdPause, CmdStop, cmdForeward}) transport->addWidget(button);
    transport->addStretch();
    player->addLayout(transport);
    cmdPlayPrevious = Named(new QPushButton("Previous", framPlayer), "cmdPlayPrevious");
    cmdPlayNext = Named(new QPushButton("Next", framPlayer), "cmdPlayNext");
    chkAutoPlayNext = Named(new QCheckBox("AutoPlayNext", framPlayer), "chkAutoPlayNext");
    auto* list = new QHBoxLayout;
    list->setSpacing(4);
    list->addWidget(cmdPlayPrevious);
    list->addWidget(cmdPlayNext);
    list->addWidget(chkAutoPlayNext);
    player->addLayout(list);
    BuildListening(player);
    block->addWidget(framPlayer);

    block->addStretch(1);
    cmdByeBye = Named(new QPushButton("Exit Player", framConditions), "cmdByeBye");
    block->addWidget(cmdByeBye);
    columns->addWidget(framConditions);

    DataGrid1 = Named(new DataGrid(central), "DataGrid1");
    DataGrid1->SetCaption("Record File Temporary Information");
    // The waveform takes the grid's width: the player block is too narrow for a call's detail.
    picWaveform = new WaveStrip(central);
    auto* results = new QVBoxLayout;
    results->setSpacing(4);
    results->addWidget(DataGrid1, 1);
    results->addWidget(picWaveform);
    framNotes = new NotesPanel(central);
    results->addWidget(framNotes);
    columns->addLayout(results, 1);

    stbPlayer = Named(new QStatusBar(this), "stbPlayer");
    stbPlayerPanel1 = Named(new QLabel(stbPlayer), "stbPlayerPanel1");
    stbPlayerPanel1->setTextInteractionFlags(Qt::TextSelectableByMouse);
    stbPlayer->addWidget(stbPlayerPanel1, 1);
    stbPlayerPanel2 = Named(new QLabel("0 calls", stbPlayer), "stbPlayerPanel2");
    stbPlayerPanel2->setMinimumWidth(stbPlayerPanel2->fontMetrics().horizontalAdvance("0000000 calls") + 8);
    stbPlayerPanel2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    stbPlayer->addPermanentWidget(stbPlayerPanel2);
    setStatusBar(stbPlayer);

    Timer1 = Named(new QTimer(this), "Timer1");
    Timer1->setInterval(100);

    resize(1340, 780);  // the grid keeps its columns in view beside the conditions
}

}  // namespace player
