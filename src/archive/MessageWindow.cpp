#include "MessageWindow.h"

#include <QHash>

#include <mutex>

namespace arcmsg {
namespace {

struct Registry {
    std::mutex mutex;
    QHash<QString, unsigned> messages;
    unsigned nextMessage = 0xC000;
    QHash<TWindowHandle, TMessageWindow::TWndProc> windows;
    TWindowHandle nextWindow = 0x10000;
};

Registry& registry()
{
    static Registry r;
    return r;
}

} // namespace

unsigned RegisterWindowMessage(const QString& name)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const QString key = name.toLower();
    auto it = r.messages.find(key);
    if (it != r.messages.end())
        return it.value();
    const unsigned number = r.nextMessage++;
    r.messages.insert(key, number);
    return number;
}

bool IsWindowMessageRegistered(const QString& name)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.messages.contains(name.toLower());
}

LRESULT DefWindowProc(TWindowHandle, unsigned, WPARAM, LPARAM)
{
    return 0;
}

LRESULT SendMessage(TWindowHandle window, unsigned msg, WPARAM wParam, LPARAM lParam)
{
    TMessageWindow::TWndProc proc;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        auto it = r.windows.find(window);
        if (it == r.windows.end())
            return 0;
        proc = it.value();
    }
    return proc ? proc(window, msg, wParam, lParam) : 0;
}

TMessageWindow::TMessageWindow(TWndProc proc)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    m_handle = r.nextWindow++;
    r.windows.insert(m_handle, std::move(proc));
}

TMessageWindow::~TMessageWindow()
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.windows.remove(m_handle);
}

int WindowCount()
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return int(r.windows.size());
}

} // namespace arcmsg
