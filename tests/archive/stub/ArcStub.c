/* A small archiver library for the binding's tests. Built once per library
 * name with ARC_PREFIX set to the entry prefix. It keeps what it was called
 * with so that the tests can compare it:
 *  - the command entry records the command line and writes "OUT:" and the
 *    command line into the output buffer;
 *  - OpenArchive/CheckArchive accept a file that holds the text
 *    "ARCSTUB:" ARC_PREFIX ";" (GetArchiveType answers the digit after it);
 *  - FindFirst/FindNext give two entries dated 2001-02-03 04:05:06;
 *  - with ARC_WITH_TIMES the optional time and size entries exist;
 *  - with ARC_WITH_ZIP a "Zip" packing command exists as well;
 *  - with ARC_WITHOUT_OPEN there is no OpenArchive entry;
 *  - with ARC_NO_COMMAND there is no command entry. */
#include "archive/ArchiverAbi.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))
#define CAT2(a, b) a##b
#define CAT(a, b) CAT2(a, b)
#define ENTRY(suffix) CAT(ARC_PREFIX, suffix)
#define STR2(x) #x
#define STR(x) STR2(x)

static char g_lastCommand[65536];
static char g_lastEntry[128];
static char g_lastPath[4096];
static int32_t g_lastMode = -1;
static ArcWindow g_lastWindow;
static int32_t g_result;
static int g_callCount;

static void note(const char* entry)
{
    snprintf(g_lastEntry, sizeof g_lastEntry, "%s", entry);
    ++g_callCount;
}

EXPORT const char* ArcStubLastCommand(void)
{
    return g_lastCommand;
}
EXPORT const char* ArcStubLastEntry(void)
{
    return g_lastEntry;
}
EXPORT const char* ArcStubLastPath(void)
{
    return g_lastPath;
}
EXPORT int32_t ArcStubLastMode(void)
{
    return g_lastMode;
}
EXPORT uintptr_t ArcStubLastWindow(void)
{
    return g_lastWindow;
}
EXPORT void ArcStubSetResult(int32_t rc)
{
    g_result = rc;
}
EXPORT int ArcStubCallCount(void)
{
    return g_callCount;
}

static int32_t run(const char* entry, ArcWindow window, const char* cmd, char* out, uint32_t size)
{
    note(entry);
    g_lastWindow = window;
    snprintf(g_lastCommand, sizeof g_lastCommand, "%s", cmd ? cmd : "");
    if (out && size > 0)
        snprintf(out, size, "OUT:%s", g_lastCommand);
    return g_result;
}

/* The digit after the signature, 0 when the file lacks it. */
static int signature(const char* path)
{
#ifdef ARC_ZIP_SIGNATURE
    const char* sig = "ARCSTUB:UnZip;"; /* the ZIP libraries share one signature */
#else
    const char* sig = "ARCSTUB:" STR(ARC_PREFIX) ";";
#endif
    FILE* f = fopen(path, "rb");
    if (!f)
        return 0;
    char buf[8192];
    size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    buf[n] = 0;
    size_t len = strlen(sig);
    for (size_t i = 0; i + len <= n; ++i) {
        if (memcmp(buf + i, sig, len) == 0) {
            char d = (i + len < n) ? buf[i + len] : 0;
            return (d >= '1' && d <= '9') ? d - '0' : 1;
        }
    }
    return 0;
}

#ifndef ARC_NO_COMMAND
EXPORT int32_t ARC_PREFIX(ArcWindow window, const char* cmd, char* out, uint32_t size)
{
    return run(STR(ARC_PREFIX), window, cmd, out, size);
}
#endif

#ifdef ARC_WITH_ZIP
EXPORT int32_t Zip(ArcWindow window, const char* cmd, char* out, uint32_t size)
{
    return run("Zip", window, cmd, out, size);
}
#endif

struct StubArchive {
    int next;
};

#ifndef ARC_WITHOUT_OPEN
EXPORT ArcHandle ENTRY(OpenArchive)(ArcWindow window, const char* path, uint32_t mode)
{
    note(STR(ENTRY(OpenArchive)));
    snprintf(g_lastPath, sizeof g_lastPath, "%s", path ? path : "");
    g_lastMode = (int32_t)mode;
    g_lastWindow = window;
    if (!path || !signature(path))
        return 0;
    struct StubArchive* a = calloc(1, sizeof *a);
    return (ArcHandle)a;
}
#endif

EXPORT int32_t ENTRY(CloseArchive)(ArcHandle handle)
{
    note(STR(ENTRY(CloseArchive)));
    free((struct StubArchive*)handle);
    return 0;
}

static int32_t fill(ArcHandle handle, ArcIndividualInfo* info)
{
    struct StubArchive* a = (struct StubArchive*)handle;
    if (!a || !info)
        return ARC_ERROR_HARC_ISNOT_OPENED;
    if (a->next >= 2)
        return -1;
    memset(info, 0, sizeof *info);
    info->originalSize = a->next == 0 ? 100 : 0xFFFFFFFFu;
    info->compressedSize = a->next == 0 ? 60 : 70;
    info->dosDate = (uint16_t)(((2001 - 1980) << 9) | (2 << 5) | 3);
    info->dosTime = (uint16_t)((4 << 11) | (5 << 5) | (6 / 2));
    snprintf(info->fileName, sizeof info->fileName, "%s", a->next == 0 ? "a.jpg" : "sub/b.png");
    a->next++;
    return 0;
}

EXPORT int32_t ENTRY(FindFirst)(ArcHandle handle, const char* wildcard, ArcIndividualInfo* info)
{
    note(STR(ENTRY(FindFirst)));
    struct StubArchive* a = (struct StubArchive*)handle;
    if (a)
        a->next = 0;
    return fill(handle, info);
}

EXPORT int32_t ENTRY(FindNext)(ArcHandle handle, ArcIndividualInfo* info)
{
    note(STR(ENTRY(FindNext)));
    return fill(handle, info);
}

EXPORT int32_t ENTRY(ExtractMem)(ArcWindow window, const char* cmd, uint8_t* buffer, uint32_t size, int64_t* time,
                                 uint16_t* attr, uint32_t* written)
{
    note(STR(ENTRY(ExtractMem)));
    snprintf(g_lastCommand, sizeof g_lastCommand, "%s", cmd ? cmd : "");
    uint32_t n = 0;
    const char* data = "DATA";
    while (n < size && data[n]) {
        buffer[n] = (uint8_t)data[n];
        ++n;
    }
    if (written)
        *written = n;
    return g_result;
}

EXPORT ArcBool ENTRY(CheckArchive)(const char* path, int32_t mode)
{
    note(STR(ENTRY(CheckArchive)));
    snprintf(g_lastPath, sizeof g_lastPath, "%s", path ? path : "");
    g_lastMode = mode;
    return path && signature(path) ? 1 : 0;
}

EXPORT ArcBool ENTRY(SetOwnerWindowEx)(ArcWindow window, void* callback)
{
    note(STR(ENTRY(SetOwnerWindowEx)));
    g_lastWindow = window;
    return 1;
}

EXPORT ArcBool ENTRY(KillOwnerWindowEx)(ArcWindow window)
{
    note(STR(ENTRY(KillOwnerWindowEx)));
    g_lastWindow = window;
    return 1;
}

EXPORT int32_t ENTRY(GetArchiveType)(const char* path)
{
    note(STR(ENTRY(GetArchiveType)));
    return path ? signature(path) : 0;
}

#ifdef ARC_WITH_TIMES
/* 2020-01-01 00:00:00 UTC as a Windows file time. */
#define STUB_FILETIME 132223104000000000ULL

static ArcBool time_of(ArcFileTime* t, uint64_t v)
{
    t->low = (uint32_t)v;
    t->high = (uint32_t)(v >> 32);
    return 1;
}

EXPORT ArcBool ENTRY(GetWriteTimeEx)(ArcHandle h, ArcFileTime* t)
{
    return time_of(t, STUB_FILETIME);
}
EXPORT ArcBool ENTRY(GetCreateTimeEx)(ArcHandle h, ArcFileTime* t)
{
    return time_of(t, STUB_FILETIME + 10000000ULL);
}
EXPORT ArcBool ENTRY(GetAccessTimeEx)(ArcHandle h, ArcFileTime* t)
{
    return time_of(t, STUB_FILETIME + 20000000ULL);
}
EXPORT ArcBool ENTRY(GetOriginalSizeEx)(ArcHandle h, uint64_t* s)
{
    *s = 5000000000ULL;
    return 1;
}
EXPORT ArcBool ENTRY(GetCompressedSizeEx)(ArcHandle h, uint64_t* s)
{
    *s = 4000000000ULL;
    return 1;
}
#endif
