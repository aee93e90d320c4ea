#pragma once
// Registered messages and hidden message windows, in-process.
//
// The archive component asks for progress through a hidden window that it
// hands to the archiver library as the owner window; the library reports by
// sending the registered message "wm_arcextract" to that window. A window is
// an opaque number here; a message sent to it runs its window procedure
// synchronously on the caller's thread. Nothing here touches the windowing
// system: the windows are never shown.
#include <QString>

#include <cstdint>
#include <functional>

namespace arcmsg {

using TWindowHandle = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// The message number for a name (names compared without regard to case):
// the same number for the same name in the whole process, from 0xC000 up.
unsigned RegisterWindowMessage(const QString& name);
// True once the name has been registered in this process.
bool IsWindowMessageRegistered(const QString& name);

// What a window procedure that does not handle a message returns.
LRESULT DefWindowProc(TWindowHandle window, unsigned msg, WPARAM wParam, LPARAM lParam);

// Delivers the message to the window's procedure and returns its result;
// 0 when no such window exists.
LRESULT SendMessage(TWindowHandle window, unsigned msg, WPARAM wParam, LPARAM lParam);

// A hidden window with a window procedure; it exists until destroyed.
class TMessageWindow {
public:
    using TWndProc = std::function<LRESULT(TWindowHandle, unsigned, WPARAM, LPARAM)>;

    explicit TMessageWindow(TWndProc proc);
    ~TMessageWindow();
    TMessageWindow(const TMessageWindow&) = delete;
    TMessageWindow& operator=(const TMessageWindow&) = delete;

    TWindowHandle Handle() const { return m_handle; }

private:
    TWindowHandle m_handle;
};

// The number of message windows that exist now.
int WindowCount();

} // namespace arcmsg
