#pragma once

// The three ways the program puts a message in front of the user. Each is modal for the
// whole application and runs a nested event loop, so timers, repaints and calls queued from
// other threads go on while it waits.

#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <string>
#include <string_view>

// The platform's message-box vocabulary, which AskQuestion's callers speak.
namespace msgbox {
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr unsigned MB_ABORTRETRYIGNORE = 0x2;
inline constexpr unsigned MB_YESNOCANCEL = 0x3;
inline constexpr unsigned MB_YESNO = 0x4;
inline constexpr unsigned MB_RETRYCANCEL = 0x5;
inline constexpr unsigned MB_ICONHAND = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned MB_ICONASTERISK = 0x40;
inline constexpr unsigned MB_DEFBUTTON2 = 0x100;
inline constexpr unsigned MB_DEFBUTTON3 = 0x200;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
} // namespace msgbox

// A message box with the caller's caption and flags (buttons, icon, default button); returns
// the code of the button pressed, IDCANCEL when the box was closed without one. The window
// that was active and the keyboard focus are restored afterwards.
int AskQuestion(const QString& text, const QString& caption, unsigned flags);

// The error box: the failure's message under the full-stop rule, the application title, the
// error icon and "OK". Cancels any mouse grab first.
void ShowError(std::string_view message);
// The error box with a line for the user under the failure's message: what the failure means
// or what the program does about it.
void ShowError(std::string_view message, std::string_view explanation);

// The message the error box shows: a "." is added when the last byte is above ".", so texts
// ending in a letter, a digit, "?" or ":" get one and texts ending in ".", "!", ")" or a blank
// do not.
[[nodiscard]] std::string ErrorBoxText(std::string_view message);

// A dialog with text and one "OK" button, captioned with the application title.
// Enter and Escape close it; Ctrl+C copies it as NoticeClipboardText.
void ShowNotice(const QString& text);

// The notice as plain text: caption, text and the button captions (without "&", each followed
// by three blanks), framed by lines of 27 "-", every line ending in CR LF.
[[nodiscard]] QString NoticeClipboardText(const QString& caption, const QString& text,
                                          const QStringList& buttons);

// Where the notice puts its text and button, in pixels, from the dialog units of its font:
// a horizontal unit is a quarter of averageCharWidth, a vertical unit an eighth of
// charHeight.
struct TNoticeLayout {
    QSize client;
    QRect text;
    QRect button;
};
[[nodiscard]] TNoticeLayout LayoutNotice(QSize textSize, int averageCharWidth, int charHeight,
                                         int buttonCaptionWidth);
