#include "StubSupport.h"

#include <QFile>

#include <gtest/gtest.h>

namespace stub {
namespace {

template <typename Fn> Fn Proc(platform::LibraryHandle module, const char* name)
{
    void* p = platform::GetProcAddress(module, name);
    if (!p)
        ADD_FAILURE() << "stub library lacks " << name;
    return reinterpret_cast<Fn>(p);
}

QString Text(platform::LibraryHandle module, const char* name)
{
    auto fn = Proc<const char* (*)()>(module, name);
    return fn ? QString::fromUtf8(fn()) : QString();
}

} // namespace

QString LastCommand(platform::LibraryHandle module)
{
    return Text(module, "ArcStubLastCommand");
}

QString LastEntry(platform::LibraryHandle module)
{
    return Text(module, "ArcStubLastEntry");
}

QString LastPath(platform::LibraryHandle module)
{
    return Text(module, "ArcStubLastPath");
}

int LastMode(platform::LibraryHandle module)
{
    auto fn = Proc<std::int32_t (*)()>(module, "ArcStubLastMode");
    return fn ? fn() : -1;
}

std::uintptr_t LastWindow(platform::LibraryHandle module)
{
    auto fn = Proc<std::uintptr_t (*)()>(module, "ArcStubLastWindow");
    return fn ? fn() : 0;
}

int CallCount(platform::LibraryHandle module)
{
    auto fn = Proc<int (*)()>(module, "ArcStubCallCount");
    return fn ? fn() : -1;
}

void SetResult(platform::LibraryHandle module, int rc)
{
    if (auto fn = Proc<void (*)(std::int32_t)>(module, "ArcStubSetResult"))
        fn(rc);
}

void WriteSignedFile(const QString& path, const char* prefix, char typeDigit)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QByteArray data("MZ");
    data += QByteArray(300, '\x90');
    data += "ARCSTUB:";
    data += prefix;
    data += ';';
    if (typeDigit)
        data += typeDigit;
    data += QByteArray(100, '\0');
    f.write(data);
}

} // namespace stub
