// player: the seams between the player's logic and the person at the
// screen, so that the logic runs and is tested without a window.
//
//   * Dialogs: a question (Yes/No), an information (OK), the folder picker
//     and the file dialog. The program installs the Qt implementation
//     (player/window); tests install their own answers; until one is
//     installed, ConsoleDialogs answers: information goes to standard
//     error, questions are answered No, pickers are cancelled.
//   * Clock: the local time now (clock.h), for the run log's daily file
//     and stamps.
//   * Event pump: "let pending window events run", called by long work
//     (the scan) between steps; that is where a Cancel button is seen.
// All three live in the process state (process_state.h), as WindowHooks,
// with the window's hooks into the logic's progress.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "player/core/clock.h"

namespace player {

// The program's title; every message box carries it.
inline constexpr const char* kProgramTitle = "CallDeck";

// The owner window of a dialog, opaque to the logic (a QWidget* in the
// program); null for none.
using WindowHandle = void*;

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Yes and No buttons; true only for Yes. With the question icon unless
    // questionIcon is false.
    virtual bool Question(std::string_view text, bool questionIcon = true) = 0;
    // An OK button.
    virtual void Information(std::string_view text) = 0;
    // A folder of the file system, or "" when the user cancels.
    virtual std::string PickFolder(WindowHandle owner, std::string_view title) = 0;
    // A file name to write, which need not exist yet; "" when cancelled.
    // The dialog opens in the folder of `initial` with its name filled in.
    // `filter` pairs captions and patterns, "(*.wav)|*.wav|(*.*)|*.*";
    // `defaultExtension` ("wav") is added to a name typed without one.
    virtual std::string PickFile(WindowHandle owner, std::string_view title, std::string_view initial,
                                 std::string_view filter, std::string_view defaultExtension) = 0;
};

class ConsoleDialogs : public Dialogs {
public:
    bool Question(std::string_view text, bool questionIcon = true) override;
    void Information(std::string_view text) override;
    std::string PickFolder(WindowHandle owner, std::string_view title) override;
    std::string PickFile(WindowHandle owner, std::string_view title, std::string_view initial, std::string_view filter,
                         std::string_view defaultExtension) override;
};

// The seams and the window's hooks, as one part of the process state.
struct WindowHooks {
    std::function<LocalTime()> Now = SystemNow;
    std::function<void()> PumpEvents = [] {};
    std::shared_ptr<Dialogs> dialogs = std::make_shared<ConsoleDialogs>();
    // The main window's status bar, panel 1; empty while there is none.
    std::function<void(const std::string&)> StatusBarEcho;
    // The main window's progress bar pbConvert (0-100); empty without one.
    std::function<void(int)> ShowConvertProgress;
    // Told when IsConverting (and a batch's IsBatchConverting) changes, so
    // the window can disable the commands that would start a second
    // conversion; empty without one.
    std::function<void()> ConvertingChanged;
    // Draws the player block as playback left it (playback_state.h); empty
    // without a window.
    std::function<void()> ShowPlayerBlock;
};

}  // namespace player
