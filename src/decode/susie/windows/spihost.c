/*
 * Orvanto's Windows plug-in helper: a console program run under Wine that
 * loads Windows Susie plug-in DLLs with LoadLibrary/GetProcAddress and serves
 * them to the program over its standard input and output (see
 * WinePluginProtocol.h). Built twice with MinGW-w64: 32-bit for ".spi", 64-bit
 * for ".sph".
 *
 * The plug-ins' records and memory handles are the Windows ones: the helper
 * locks, copies and frees every LocalAlloc handle a plug-in returns, so only
 * plain bytes cross to the host. Texts from the plug-ins are CP932 and are
 * sent as UTF-8.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "../WinePluginProtocol.h"

/* ---------------------------------------------------------------------------
 * The Windows plug-in interface. On 64-bit Windows `long` stays 32 bits;
 * buffer lengths, the callback's data and IsSupported's second argument are
 * pointer-sized.
 */
#pragma pack(push, 1)
typedef struct WinPictureInfo {
    LONG left;
    LONG top;
    LONG width;
    LONG height;
    WORD xDensity;
    WORD yDensity;
    SHORT colorDepth;
    HLOCAL hInfo;
} WinPictureInfo;
#pragma pack(pop)

#ifdef _WIN64
_Static_assert(sizeof(WinPictureInfo) == 30, "64-bit picture record is 30 bytes, packed");
#else
_Static_assert(sizeof(WinPictureInfo) == 26, "32-bit picture record is 26 bytes, packed");
#endif
_Static_assert(offsetof(WinPictureInfo, hInfo) == 22, "text handle follows the colour depth");

typedef int(WINAPI* ProgressProc)(int current, int total, LONG_PTR data);
typedef int(WINAPI* GetPluginInfoProc)(int infoNumber, LPSTR buffer, int bufferLength);
typedef int(WINAPI* IsSupportedProc)(LPCSTR name, ULONG_PTR headOrFile);
typedef int(WINAPI* GetPictureInfoProc)(LPCSTR buf, LONG_PTR len, unsigned int flag, WinPictureInfo* info);
typedef int(WINAPI* GetPictureProc)(LPCSTR buf, LONG_PTR len, unsigned int flag, HLOCAL* bitmapInfo,
                                    HLOCAL* bitmapBits, ProgressProc progress, LONG_PTR data);

static const char* const kEntryNames[] = {
    "GetPluginInfo", "ConfigurationDlg", "IsSupported", "GetPictureInfo", "GetPicture",
    "GetPreview",    "GetArchiveInfo",   "GetFileInfo", "GetFile",
};
enum { kEntryCount = sizeof kEntryNames / sizeof kEntryNames[0] };
enum { epGetPluginInfo = 0, epIsSupported = 2, epGetPictureInfo = 3, epGetPicture = 4, epGetPreview = 5 };

#define MAX_PLUGINS 256
typedef struct Plugin {
    HMODULE module;
    FARPROC entries[kEntryCount];
} Plugin;
static Plugin g_plugins[MAX_PLUGINS];
static uint32_t g_pluginCount;

static HANDLE g_in;
static HANDLE g_out;

/* ---------------------------------------------------------------------------
 * Frames
 */
static int ReadExact(void* buffer, uint32_t size)
{
    char* p = (char*)buffer;
    while (size > 0) {
        DWORD got = 0;
        if (!ReadFile(g_in, p, size, &got, NULL) || got == 0)
            return 0;
        p += got;
        size -= got;
    }
    return 1;
}

static int WriteExact(const void* buffer, uint32_t size)
{
    const char* p = (const char*)buffer;
    while (size > 0) {
        DWORD put = 0;
        if (!WriteFile(g_out, p, size, &put, NULL) || put == 0)
            return 0;
        p += put;
        size -= put;
    }
    return 1;
}

/* A reply assembled in one growing buffer, sent in one write. */
typedef struct Reply {
    char* data;
    uint32_t size;
    uint32_t capacity;
    int failed;
} Reply;

static void ReplyInit(Reply* r, uint32_t opcode, uint32_t plugin)
{
    r->capacity = 256;
    r->data = (char*)HeapAlloc(GetProcessHeap(), 0, r->capacity);
    r->size = WSP_FRAME_HEADER_SIZE;
    r->failed = r->data == NULL;
    if (!r->failed) {
        WspFrameHeader h = {opcode, plugin, 0};
        memcpy(r->data, &h, sizeof h);
    }
}

static void ReplyPut(Reply* r, const void* bytes, uint32_t size)
{
    if (r->failed || size == 0)
        return;
    if ((uint64_t)r->size + size > WSP_MAX_PAYLOAD) {
        r->failed = 1;
        return;
    }
    if (r->size + size > r->capacity) {
        uint32_t capacity = r->capacity;
        while (capacity < r->size + size)
            capacity = capacity > 0x7FFFFFFFu / 2 ? r->size + size : capacity * 2;
        char* grown = (char*)HeapReAlloc(GetProcessHeap(), 0, r->data, capacity);
        if (!grown) {
            r->failed = 1;
            return;
        }
        r->data = grown;
        r->capacity = capacity;
    }
    memcpy(r->data + r->size, bytes, size);
    r->size += size;
}

static void ReplyI32(Reply* r, int32_t v) { ReplyPut(r, &v, 4); }
static void ReplyU32(Reply* r, uint32_t v) { ReplyPut(r, &v, 4); }

/* Sends the reply; one that could not be assembled goes out as a bare
 * helper error, so the host is never left waiting. */
static int ReplySend(Reply* r)
{
    int ok;
    if (r->failed) {
        WspFrameHeader h;
        int32_t result = WSP_RESULT_HELPER_ERROR;
        if (r->data)
            memcpy(&h, r->data, sizeof h);
        else
            memset(&h, 0, sizeof h);
        h.length = 4;
        ok = WriteExact(&h, sizeof h) && WriteExact(&result, 4);
    } else {
        WspFrameHeader h;
        memcpy(&h, r->data, sizeof h);
        h.length = r->size - WSP_FRAME_HEADER_SIZE;
        memcpy(r->data, &h, sizeof h);
        ok = WriteExact(r->data, r->size);
    }
    if (r->data)
        HeapFree(GetProcessHeap(), 0, r->data);
    r->data = NULL;
    return ok;
}

/* ---------------------------------------------------------------------------
 * Texts and file names
 */

/* Appends the CP932 text (at most `size` bytes, up to its first zero) to the
 * reply as UTF-8. */
static void ReplyCp932AsUtf8(Reply* r, const char* text, size_t size)
{
    size_t n = 0;
    while (n < size && text[n])
        ++n;
    if (n == 0 || n > 0x7FFFFFF)
        return;
    int wide = MultiByteToWideChar(932, 0, text, (int)n, NULL, 0);
    if (wide <= 0)
        return;
    WCHAR* w = (WCHAR*)HeapAlloc(GetProcessHeap(), 0, (size_t)wide * sizeof(WCHAR));
    if (!w) {
        r->failed = 1;
        return;
    }
    MultiByteToWideChar(932, 0, text, (int)n, w, wide);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, w, wide, NULL, 0, NULL, NULL);
    char* u = bytes > 0 ? (char*)HeapAlloc(GetProcessHeap(), 0, (size_t)bytes) : NULL;
    if (u) {
        WideCharToMultiByte(CP_UTF8, 0, w, wide, u, bytes, NULL, NULL);
        ReplyPut(r, u, (uint32_t)bytes);
        HeapFree(GetProcessHeap(), 0, u);
    } else if (bytes > 0) {
        r->failed = 1;
    }
    HeapFree(GetProcessHeap(), 0, w);
}

typedef WCHAR*(CDECL* DosFileNameProc)(const char* unixName);

/* The Windows name of a Linux path, as Wine's file system sees it: Wine's own
 * translation when it offers one, else the root drive Z:. */
static WCHAR* WindowsNameOf(const char* unixPath)
{
    static DosFileNameProc dosName;
    static int looked;
    if (!looked) {
        looked = 1;
        dosName = (DosFileNameProc)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                          "wine_get_dos_file_name");
    }
    if (dosName) {
        WCHAR* w = dosName(unixPath);
        if (w) {
            size_t n = lstrlenW(w) + 1;
            WCHAR* copy = (WCHAR*)HeapAlloc(GetProcessHeap(), 0, n * sizeof(WCHAR));
            if (copy)
                memcpy(copy, w, n * sizeof(WCHAR));
            HeapFree(GetProcessHeap(), 0, w);
            return copy;
        }
    }
    int n = MultiByteToWideChar(CP_UTF8, 0, unixPath, -1, NULL, 0);
    if (n <= 0)
        return NULL;
    WCHAR* w = (WCHAR*)HeapAlloc(GetProcessHeap(), 0, ((size_t)n + 2) * sizeof(WCHAR));
    if (!w)
        return NULL;
    w[0] = L'Z';
    w[1] = L':';
    MultiByteToWideChar(CP_UTF8, 0, unixPath, -1, w + 2, n);
    for (WCHAR* p = w; *p; ++p) {
        if (*p == L'/')
            *p = L'\\';
    }
    return w;
}

/* The name of a Linux path in the ANSI code page the plug-ins read names in.
 * A name with characters that code page lacks is given as its short (8.3)
 * form, which is plain ASCII. */
static char* AnsiFileName(const char* unixPath)
{
    if (!unixPath[0]) {
        char* empty = (char*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 1);
        return empty;
    }
    WCHAR* w = WindowsNameOf(unixPath);
    if (!w)
        return NULL;
    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w, -1, NULL, 0, NULL, &lossy);
    if (lossy) {
        WCHAR shortName[MAX_PATH * 2];
        DWORD s = GetShortPathNameW(w, shortName, MAX_PATH * 2);
        if (s > 0 && s < MAX_PATH * 2) {
            HeapFree(GetProcessHeap(), 0, w);
            n = lstrlenW(shortName) + 1;
            w = (WCHAR*)HeapAlloc(GetProcessHeap(), 0, (size_t)n * sizeof(WCHAR));
            if (!w)
                return NULL;
            memcpy(w, shortName, (size_t)n * sizeof(WCHAR));
            n = WideCharToMultiByte(CP_ACP, 0, w, -1, NULL, 0, NULL, NULL);
        }
    }
    char* a = n > 0 ? (char*)HeapAlloc(GetProcessHeap(), 0, (size_t)n) : NULL;
    if (a)
        WideCharToMultiByte(CP_ACP, 0, w, -1, a, n, NULL, NULL);
    HeapFree(GetProcessHeap(), 0, w);
    return a;
}

/* A UTF-8 text of the payload as a zero-ended copy. */
static char* ZeroEnded(const char* bytes, uint32_t size)
{
    char* s = (char*)HeapAlloc(GetProcessHeap(), 0, (size_t)size + 1);
    if (!s)
        return NULL;
    memcpy(s, bytes, size);
    s[size] = '\0';
    return s;
}

/* ---------------------------------------------------------------------------
 * Memory handles of the plug-ins
 */

/* Appends the bytes of a LocalAlloc handle; the handle is freed. */
static uint32_t HandleSize(HLOCAL handle)
{
    if (!handle)
        return 0;
    SIZE_T size = LocalSize(handle);
    return size > WSP_MAX_PAYLOAD ? 0 : (uint32_t)size;
}

static void ReplyHandleBytes(Reply* r, HLOCAL handle, uint32_t size)
{
    if (!handle || size == 0)
        return;
    void* p = LocalLock(handle);
    if (p) {
        ReplyPut(r, p, size);
        LocalUnlock(handle);
    } else {
        r->failed = 1;
    }
}

static void FreeHandle(HLOCAL handle)
{
    if (handle)
        LocalFree(handle);
}

/* ---------------------------------------------------------------------------
 * Requests
 */
static Plugin* PluginOf(uint32_t number, int entry)
{
    if (number == 0 || number > g_pluginCount)
        return NULL;
    Plugin* p = &g_plugins[number - 1];
    return p->module && p->entries[entry] ? p : NULL;
}

static int SendResult(uint32_t opcode, uint32_t plugin, int32_t result)
{
    Reply r;
    ReplyInit(&r, opcode, plugin);
    ReplyI32(&r, result);
    return ReplySend(&r);
}

static int HandleOpen(const char* payload, uint32_t size)
{
    char* path = ZeroEnded(payload, size);
    WCHAR* w = path ? WindowsNameOf(path) : NULL;
    HMODULE module = w ? LoadLibraryW(w) : NULL;
    if (w)
        HeapFree(GetProcessHeap(), 0, w);
    if (path)
        HeapFree(GetProcessHeap(), 0, path);

    Reply r;
    uint32_t number = 0;
    int32_t status = WSP_OPEN_OK;
    uint32_t exported = 0;
    for (uint32_t i = 0; module && i < g_pluginCount; ++i) {
        if (g_plugins[i].module == module) {
            /* Loaded before: the same number, and one reference only. */
            FreeLibrary(module);
            module = NULL;
            number = i + 1;
            for (int e = 0; e < kEntryCount; ++e)
                exported |= g_plugins[i].entries[e] ? 1u << e : 0u;
        }
    }
    if (number) {
        /* found above */
    } else if (!module) {
        status = WSP_OPEN_LOAD_FAILED;
    } else if (g_pluginCount >= MAX_PLUGINS) {
        FreeLibrary(module);
        status = WSP_OPEN_TOO_MANY;
    } else {
        Plugin* p = &g_plugins[g_pluginCount++];
        number = g_pluginCount;
        p->module = module;
        for (int i = 0; i < kEntryCount; ++i) {
            p->entries[i] = GetProcAddress(module, kEntryNames[i]);
            if (p->entries[i])
                exported |= 1u << i;
        }
    }
    ReplyInit(&r, WSP_OPEN, number);
    ReplyI32(&r, status);
    ReplyU32(&r, exported);
    return ReplySend(&r);
}

static int HandlePluginInfo(uint32_t number, const char* payload, uint32_t size)
{
    Plugin* p = PluginOf(number, epGetPluginInfo);
    if (!p || size < 4)
        return SendResult(WSP_PLUGIN_INFO, number, WSP_RESULT_HELPER_ERROR);
    int32_t infoNumber;
    memcpy(&infoNumber, payload, 4);
    char buffer[256];
    memset(buffer, 0, sizeof buffer);
    int result = ((GetPluginInfoProc)(void*)p->entries[epGetPluginInfo])(infoNumber, buffer, 255);
    buffer[255] = '\0';
    Reply r;
    ReplyInit(&r, WSP_PLUGIN_INFO, number);
    ReplyI32(&r, result);
    ReplyCp932AsUtf8(&r, buffer, sizeof buffer);
    return ReplySend(&r);
}

static int HandleIsSupported(uint32_t number, const char* payload, uint32_t size)
{
    Plugin* p = PluginOf(number, epIsSupported);
    uint32_t nameSize = 0;
    if (size >= 4)
        memcpy(&nameSize, payload, 4);
    if (!p || size < 4 || nameSize > size - 4 || size - 4 - nameSize != WSP_HEAD_SIZE)
        return SendResult(WSP_IS_SUPPORTED, number, WSP_RESULT_HELPER_ERROR);
    char* unixName = ZeroEnded(payload + 4, nameSize);
    char* name = unixName ? AnsiFileName(unixName) : NULL;
    /* The head goes to the plug-in in a block of its own: an address above
     * 0xFFFF, which plug-ins tell apart from a file handle. */
    char* head = (char*)HeapAlloc(GetProcessHeap(), 0, WSP_HEAD_SIZE);
    int32_t result = WSP_RESULT_HELPER_ERROR;
    if (name && head) {
        memcpy(head, payload + 4 + nameSize, WSP_HEAD_SIZE);
        result = ((IsSupportedProc)(void*)p->entries[epIsSupported])(name, (ULONG_PTR)head);
    }
    if (head)
        HeapFree(GetProcessHeap(), 0, head);
    if (name)
        HeapFree(GetProcessHeap(), 0, name);
    if (unixName)
        HeapFree(GetProcessHeap(), 0, unixName);
    return SendResult(WSP_IS_SUPPORTED, number, result);
}

/* The picture calls' input: the buffer and length for the plug-in. The
 * returned block (a file name or the data) is freed by the caller. */
static char* PictureInput(const char* payload, uint32_t size, uint32_t* flag, LONG_PTR* len,
                          uint32_t* consumed)
{
    WspPictureInput in;
    if (size < WSP_PICTURE_INPUT_SIZE)
        return NULL;
    memcpy(&in.flag, payload, 4);
    memcpy(&in.len, payload + 4, 8);
    memcpy(&in.size, payload + 12, 4);
    if (in.size > size - WSP_PICTURE_INPUT_SIZE)
        return NULL;
    const char* bytes = payload + WSP_PICTURE_INPUT_SIZE;
    *consumed = WSP_PICTURE_INPUT_SIZE + in.size;
    *flag = in.flag;
    if ((in.flag & 7u) == 0) {
        if (in.len < 0 || (uint64_t)in.len > (uint64_t)(((ULONG_PTR)-1) >> 1))
            return NULL;
        *len = (LONG_PTR)in.len;
        char* unixName = ZeroEnded(bytes, in.size);
        char* name = unixName ? AnsiFileName(unixName) : NULL;
        if (unixName)
            HeapFree(GetProcessHeap(), 0, unixName);
        return name;
    }
    if (in.len != (int64_t)in.size)
        return NULL;
    *len = (LONG_PTR)in.size;
    char* data = (char*)HeapAlloc(GetProcessHeap(), 0, in.size ? in.size : 1);
    if (data)
        memcpy(data, bytes, in.size);
    return data;
}

static int HandlePictureInfo(uint32_t number, const char* payload, uint32_t size)
{
    Plugin* p = PluginOf(number, epGetPictureInfo);
    uint32_t flag = 0, consumed = 0;
    LONG_PTR len = 0;
    char* buf = p ? PictureInput(payload, size, &flag, &len, &consumed) : NULL;
    if (!buf)
        return SendResult(WSP_PICTURE_INFO, number, WSP_RESULT_HELPER_ERROR);
    WinPictureInfo info;
    memset(&info, 0, sizeof info);
    int32_t result = ((GetPictureInfoProc)(void*)p->entries[epGetPictureInfo])(buf, len, flag, &info);
    HeapFree(GetProcessHeap(), 0, buf);

    Reply r;
    ReplyInit(&r, WSP_PICTURE_INFO, number);
    ReplyI32(&r, result);
    ReplyI32(&r, info.left);
    ReplyI32(&r, info.top);
    ReplyI32(&r, info.width);
    ReplyI32(&r, info.height);
    ReplyPut(&r, &info.xDensity, 2);
    ReplyPut(&r, &info.yDensity, 2);
    ReplyPut(&r, &info.colorDepth, 2);
    /* The text length is filled in once the text is converted. */
    uint32_t lengthAt = r.size;
    ReplyU32(&r, 0);
    if (result == 0 && info.hInfo) {
        uint32_t textSize = HandleSize(info.hInfo);
        const char* text = textSize ? (const char*)LocalLock(info.hInfo) : NULL;
        if (text) {
            ReplyCp932AsUtf8(&r, text, textSize);
            LocalUnlock(info.hInfo);
        }
        if (!r.failed) {
            uint32_t converted = r.size - lengthAt - 4;
            memcpy(r.data + lengthAt, &converted, 4);
        }
    }
    if (info.hInfo)
        FreeHandle(info.hInfo);
    return ReplySend(&r);
}

/* Progress of the running GetPicture: forwarded to the host whenever the
 * shown percentage changes, and at the first and the last call. */
typedef struct ProgressState {
    uint32_t plugin;
    int lastPercent;
    int stopped;
    int broken;
} ProgressState;

static int WINAPI ForwardProgress(int current, int total, LONG_PTR data)
{
    ProgressState* s = (ProgressState*)data;
    if (s->stopped || s->broken)
        return 1;
    int percent = total > 0 ? (int)((int64_t)current * 100 / total) : 0;
    if (s->lastPercent >= 0 && percent == s->lastPercent && current != total)
        return 0;
    s->lastPercent = percent;
    WspFrameHeader h = {WSP_PROGRESS, s->plugin, 8};
    int32_t values[2] = {current, total};
    if (!WriteExact(&h, sizeof h) || !WriteExact(values, sizeof values)) {
        s->broken = 1;
        return 1;
    }
    WspFrameHeader answer;
    int32_t stop = 1;
    if (!ReadExact(&answer, sizeof answer) || answer.opcode != WSP_PROGRESS || answer.length != 4 ||
        !ReadExact(&stop, 4)) {
        s->broken = 1;
        return 1;
    }
    if (stop)
        s->stopped = 1;
    return stop ? 1 : 0;
}

static int HandlePicture(uint32_t opcode, uint32_t number, const char* payload, uint32_t size)
{
    int entry = opcode == WSP_PICTURE ? epGetPicture : epGetPreview;
    Plugin* p = PluginOf(number, entry);
    uint32_t flag = 0, consumed = 0;
    LONG_PTR len = 0;
    char* buf = p ? PictureInput(payload, size, &flag, &len, &consumed) : NULL;
    uint32_t wantProgress = 0;
    if (buf && size - consumed >= 4)
        memcpy(&wantProgress, payload + consumed, 4);
    if (!buf)
        return SendResult(opcode, number, WSP_RESULT_HELPER_ERROR);

    ProgressState progress = {number, -1, 0, 0};
    HLOCAL info = NULL, bits = NULL;
    int32_t result = ((GetPictureProc)(void*)p->entries[entry])(
        buf, len, flag, &info, &bits, wantProgress ? ForwardProgress : NULL, (LONG_PTR)&progress);
    HeapFree(GetProcessHeap(), 0, buf);
    if (progress.broken) {
        /* The host is gone or out of step: nothing more can be said. */
        FreeHandle(info);
        FreeHandle(bits);
        return 0;
    }

    Reply r;
    ReplyInit(&r, opcode, number);
    ReplyI32(&r, result);
    uint32_t infoSize = result == 0 ? HandleSize(info) : 0;
    uint32_t bitsSize = result == 0 ? HandleSize(bits) : 0;
    ReplyU32(&r, infoSize);
    ReplyU32(&r, bitsSize);
    ReplyHandleBytes(&r, info, infoSize);
    ReplyHandleBytes(&r, bits, bitsSize);
    FreeHandle(info);
    FreeHandle(bits);
    return ReplySend(&r);
}

/* ---------------------------------------------------------------------------
 * Start-up and the request loop
 */

/* A plug-in that faults ends the helper at once, with a last word to the
 * host, instead of Wine's crash dialog or debugger. */
static LONG WINAPI OnCrash(EXCEPTION_POINTERS* e)
{
    WspFrameHeader h = {WSP_CRASHED, 0, 12};
    uint32_t code = e && e->ExceptionRecord ? e->ExceptionRecord->ExceptionCode : 0;
    uint64_t address = e && e->ExceptionRecord ? (uint64_t)(ULONG_PTR)e->ExceptionRecord->ExceptionAddress : 0;
    char frame[WSP_FRAME_HEADER_SIZE + 12];
    memcpy(frame, &h, sizeof h);
    memcpy(frame + 12, &code, 4);
    memcpy(frame + 16, &address, 8);
    WriteExact(frame, sizeof frame);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

int main(void)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(OnCrash);

    /* The protocol keeps the real standard output; what plug-ins print goes
     * to the null device. */
    g_in = GetStdHandle(STD_INPUT_HANDLE);
    g_out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                             OPEN_EXISTING, 0, NULL);
    if (nul != INVALID_HANDLE_VALUE) {
        SetStdHandle(STD_OUTPUT_HANDLE, nul);
        SetStdHandle(STD_INPUT_HANDLE, nul);
    }

    {
        Reply r;
        ReplyInit(&r, WSP_HELLO, 0);
        ReplyU32(&r, WSP_PROTOCOL_VERSION);
        ReplyU32(&r, (uint32_t)sizeof(void*));
        ReplyU32(&r, GetACP());
        if (!ReplySend(&r))
            return 1;
    }

    char* payload = NULL;
    uint32_t capacity = 0;
    for (;;) {
        WspFrameHeader h;
        if (!ReadExact(&h, sizeof h))
            break;
        if (h.length > WSP_MAX_PAYLOAD)
            break;
        if (h.length > capacity) {
            char* grown = payload ? (char*)HeapReAlloc(GetProcessHeap(), 0, payload, h.length)
                                  : (char*)HeapAlloc(GetProcessHeap(), 0, h.length);
            if (!grown)
                break;
            payload = grown;
            capacity = h.length;
        }
        if (h.length && !ReadExact(payload, h.length))
            break;
        int ok;
        switch (h.opcode) {
        case WSP_OPEN: ok = HandleOpen(payload, h.length); break;
        case WSP_PLUGIN_INFO: ok = HandlePluginInfo(h.plugin, payload, h.length); break;
        case WSP_IS_SUPPORTED: ok = HandleIsSupported(h.plugin, payload, h.length); break;
        case WSP_PICTURE_INFO: ok = HandlePictureInfo(h.plugin, payload, h.length); break;
        case WSP_PICTURE:
        case WSP_PREVIEW: ok = HandlePicture(h.opcode, h.plugin, payload, h.length); break;
        case WSP_QUIT: ok = 0; break;
        default: ok = SendResult(h.opcode, h.plugin, WSP_RESULT_HELPER_ERROR); break;
        }
        if (!ok)
            break;
    }
    for (uint32_t i = 0; i < g_pluginCount; ++i) {
        if (g_plugins[i].module)
            FreeLibrary(g_plugins[i].module);
    }
    return 0;
}
