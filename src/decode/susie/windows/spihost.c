/*
 * Orvanto's Windows plug-in helper: a console program run under Wine that
 * loads Windows Susie plug-in DLLs with LoadLibrary/GetProcAddress and serves
 * them to the program over its standard input and output, in the protocol of
 * the program's helper processes (src/helper/HelperProtocol.h; every block
 * inline, as a Windows process cannot take descriptors). Built twice with MinGW-w64: 32-bit for ".spi", 64-bit
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

#include "../../../helper/HelperProtocol.h"
#include "spihost_frames.h"

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
typedef int(WINAPI* GetPictureProc)(LPCSTR buf, LONG_PTR len, unsigned int flag, HLOCAL* bitmapInfo, HLOCAL* bitmapBits,
                                    ProgressProc progress, LONG_PTR data);

static const char* const kEntryNames[] = {
    "GetPluginInfo", "ConfigurationDlg", "IsSupported", "GetPictureInfo", "GetPicture",
    "GetPreview",    "GetArchiveInfo",   "GetFileInfo", "GetFile",
};
enum { kEntryCount = sizeof kEntryNames / sizeof kEntryNames[0] };

#define MAX_PLUGINS 1024
typedef struct Plugin {
    char* path; /* UTF-8 Linux path, as the host names it */
    HMODULE module;
    FARPROC entries[kEntryCount];
} Plugin;
static Plugin g_plugins[MAX_PLUGINS];
static uint32_t g_pluginCount;

/* Serial of the last request the host asked to stop. */
static volatile LONG g_abortSerial;

/* ---------------------------------------------------------------------------
 * Texts and file names
 */

/* Appends the CP932 text (at most `size` bytes, up to its first zero) to the
 * frame as UTF-8. */
static void ReplyCp932AsUtf8(Reply* r, const char* text, size_t size)
{
    size_t n = 0;
    while (n < size && text[n])
        ++n;
    if (n == 0 || n > ORV_MAX_FRAME_PAYLOAD / 4)
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
        dosName = (DosFileNameProc)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name");
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

/* A CP932 text as a UTF-8 text field. */
static void FieldCp932Text(Reply* r, uint32_t tag, const char* text, size_t size)
{
    uint32_t at = FieldBegin(r, tag);
    ReplyCp932AsUtf8(r, text, size);
    FieldEnd(r, at);
}

/* ---------------------------------------------------------------------------
 * Plug-ins, loaded on first use by path and kept loaded
 */
static Plugin* PluginFor(const Request* q, const char** failure)
{
    const char* pathBytes;
    uint32_t pathSize;
    *failure = "no plug-in path";
    if (!FindField(q, ORV_F_PATH, &pathBytes, &pathSize) || pathSize == 0)
        return NULL;
    for (uint32_t i = 0; i < g_pluginCount; ++i) {
        if (strlen(g_plugins[i].path) == pathSize && memcmp(g_plugins[i].path, pathBytes, pathSize) == 0)
            return &g_plugins[i];
    }
    *failure = "too many plug-ins";
    if (g_pluginCount >= MAX_PLUGINS)
        return NULL;
    char* path = ZeroEnded(pathBytes, pathSize);
    WCHAR* w = path ? WindowsNameOf(path) : NULL;
    /* Libraries a plug-in brings beside itself are found there. */
    HMODULE module = w ? LoadLibraryExW(w, NULL, LOAD_WITH_ALTERED_SEARCH_PATH) : NULL;
    if (w)
        HeapFree(GetProcessHeap(), 0, w);
    *failure = "LoadLibrary failed";
    if (!module) {
        if (path)
            HeapFree(GetProcessHeap(), 0, path);
        return NULL;
    }
    Plugin* p = &g_plugins[g_pluginCount++];
    p->path = path;
    p->module = module;
    for (int i = 0; i < kEntryCount; ++i)
        p->entries[i] = GetProcAddress(module, kEntryNames[i]);
    return p;
}

static int SendStatus(uint32_t serial, int64_t status, const char* text)
{
    Reply r;
    ReplyInit(&r, ORV_MSG_REPLY, serial);
    FieldInt(&r, ORV_F_STATUS, status);
    if (text)
        FieldBytes(&r, ORV_F_TEXT, text, (uint32_t)strlen(text));
    return ReplySend(&r, serial);
}

/* Resolves the plug-in and the entry point of a request, or answers the
 * request with the reason it cannot run. */
static FARPROC EntryFor(const Request* q, int entry, int* answered)
{
    const char* failure = NULL;
    Plugin* p = PluginFor(q, &failure);
    *answered = 0;
    if (!p) {
        *answered = SendStatus(q->serial, ORV_STATUS_LOAD_FAILED, failure) ? 1 : -1;
        return NULL;
    }
    if (!p->entries[entry]) {
        *answered = SendStatus(q->serial, ORV_STATUS_NO_ENTRY, kEntryNames[entry]) ? 1 : -1;
        return NULL;
    }
    return p->entries[entry];
}

#define ANSWERED(a) ((a) > 0)

/* GetPluginInfo with the host's buffer: 256 zeroed bytes, length 255. */
static int CallPluginInfo(FARPROC proc, int number, char buffer[256])
{
    memset(buffer, 0, 256);
    int result = ((GetPluginInfoProc)(void*)proc)(number, buffer, 255);
    buffer[255] = '\0';
    return result;
}

static int HandleLoad(const Request* q)
{
    const char* failure = NULL;
    Plugin* p = PluginFor(q, &failure);
    if (!p)
        return SendStatus(q->serial, ORV_STATUS_LOAD_FAILED, failure);
    Reply r;
    ReplyInit(&r, ORV_MSG_REPLY, q->serial);
    FieldInt(&r, ORV_F_STATUS, ORV_STATUS_OK);
    int64_t mask = 0;
    for (int i = 0; i < kEntryCount; ++i)
        mask |= p->entries[i] ? (int64_t)1 << i : 0;
    FieldInt(&r, ORV_F_ENTRY_MASK, mask);
    FARPROC info = p->entries[ORV_SPI_ENTRY_GET_PLUGIN_INFO];
    if (info) {
        char buffer[256];
        if (CallPluginInfo(info, 0, buffer) > 0)
            FieldCp932Text(&r, ORV_F_API_VERSION, buffer, sizeof buffer);
        if (CallPluginInfo(info, 1, buffer) > 0)
            FieldCp932Text(&r, ORV_F_PLUGIN_INFO, buffer, sizeof buffer);
        char name[256];
        for (int n = 2, pairs = 0; pairs < ORV_SPI_MAX_FORMAT_ENTRIES; n += 2, ++pairs) {
            if (CallPluginInfo(info, n, buffer) <= 0 || CallPluginInfo(info, n + 1, name) <= 0)
                break;
            FieldCp932Text(&r, ORV_F_PATTERN, buffer, sizeof buffer);
            FieldCp932Text(&r, ORV_F_FORMAT_NAME, name, sizeof name);
        }
    }
    return ReplySend(&r, q->serial);
}

static int HandlePluginInfo(const Request* q)
{
    int answered;
    FARPROC proc = EntryFor(q, ORV_SPI_ENTRY_GET_PLUGIN_INFO, &answered);
    if (!proc)
        return ANSWERED(answered);
    int64_t number = 0;
    if (!FindInt(q, ORV_F_NUMBER, &number))
        return SendStatus(q->serial, ORV_STATUS_BAD_REQUEST, "no info number");
    char buffer[256];
    int result = CallPluginInfo(proc, (int)number, buffer);
    Reply r;
    ReplyInit(&r, ORV_MSG_REPLY, q->serial);
    FieldInt(&r, ORV_F_STATUS, ORV_STATUS_OK);
    FieldInt(&r, ORV_F_RESULT, result);
    FieldCp932Text(&r, ORV_F_TEXT, buffer, sizeof buffer);
    return ReplySend(&r, q->serial);
}

/* The UTF-8 Linux name of ORV_F_NAME in the plug-ins' code page; an empty
 * name when the field is missing. */
static char* RequestFileName(const Request* q)
{
    const char* bytes = "";
    uint32_t size = 0;
    FindField(q, ORV_F_NAME, &bytes, &size);
    char* unixName = ZeroEnded(bytes, size);
    char* name = unixName ? AnsiFileName(unixName) : NULL;
    if (unixName)
        HeapFree(GetProcessHeap(), 0, unixName);
    return name;
}

static int HandleIsSupported(const Request* q)
{
    int answered;
    FARPROC proc = EntryFor(q, ORV_SPI_ENTRY_IS_SUPPORTED, &answered);
    if (!proc)
        return ANSWERED(answered);
    const char* data = NULL;
    uint32_t size = 0;
    FindField(q, ORV_F_DATA, &data, &size);
    /* The head goes to the plug-in in a block of its own, padded with zeros
     * to 2 KB: an address above 0xFFFF, which plug-ins tell apart from a
     * file handle. */
    uint32_t blockSize = size < 2048 ? 2048 : size;
    char* head = (char*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, blockSize);
    char* name = RequestFileName(q);
    if (!head || !name) {
        if (head)
            HeapFree(GetProcessHeap(), 0, head);
        if (name)
            HeapFree(GetProcessHeap(), 0, name);
        return SendStatus(q->serial, ORV_STATUS_NO_MEMORY, NULL);
    }
    if (size)
        memcpy(head, data, size);
    int result = ((IsSupportedProc)(void*)proc)(name, (ULONG_PTR)head);
    HeapFree(GetProcessHeap(), 0, head);
    HeapFree(GetProcessHeap(), 0, name);
    Reply r;
    ReplyInit(&r, ORV_MSG_REPLY, q->serial);
    FieldInt(&r, ORV_F_STATUS, ORV_STATUS_OK);
    FieldInt(&r, ORV_F_RESULT, result);
    return ReplySend(&r, q->serial);
}

/* The picture calls' input: buf and len for the plug-in, in a block the
 * caller frees. NULL with *status set when the request is unusable. */
static char* PictureInput(const Request* q, unsigned int* flag, LONG_PTR* len, int64_t* status)
{
    int64_t kind = -1;
    *status = ORV_STATUS_BAD_REQUEST;
    if (!FindInt(q, ORV_F_INPUT_KIND, &kind))
        return NULL;
    *flag = (unsigned int)kind;
    if (kind == ORV_INPUT_FILE) {
        int64_t offset = 0;
        FindInt(q, ORV_F_OFFSET, &offset);
        if (offset < 0 || (uint64_t)offset > (uint64_t)(((ULONG_PTR)-1) >> 1))
            return NULL;
        *len = (LONG_PTR)offset;
        *status = ORV_STATUS_NO_MEMORY;
        return RequestFileName(q);
    }
    const char* data = NULL;
    uint32_t size = 0;
    if (kind != ORV_INPUT_MEMORY || !FindField(q, ORV_F_DATA, &data, &size))
        return NULL;
    *len = (LONG_PTR)size;
    *status = ORV_STATUS_NO_MEMORY;
    char* copy = (char*)HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
    if (copy)
        memcpy(copy, data, size);
    return copy;
}

static int HandlePictureInfo(const Request* q)
{
    int answered;
    FARPROC proc = EntryFor(q, ORV_SPI_ENTRY_GET_PICTURE_INFO, &answered);
    if (!proc)
        return ANSWERED(answered);
    unsigned int flag = 0;
    LONG_PTR len = 0;
    int64_t status;
    char* buf = PictureInput(q, &flag, &len, &status);
    if (!buf)
        return SendStatus(q->serial, status, NULL);
    WinPictureInfo info;
    memset(&info, 0, sizeof info);
    int result = ((GetPictureInfoProc)(void*)proc)(buf, len, flag, &info);
    HeapFree(GetProcessHeap(), 0, buf);

    Reply r;
    ReplyInit(&r, ORV_MSG_REPLY, q->serial);
    FieldInt(&r, ORV_F_STATUS, ORV_STATUS_OK);
    FieldInt(&r, ORV_F_RESULT, result);
    if (result == 0) {
        OrvPictureInfo record;
        record.left = info.left;
        record.top = info.top;
        record.width = info.width;
        record.height = info.height;
        record.xDensity = info.xDensity;
        record.yDensity = info.yDensity;
        record.colorDepth = info.colorDepth;
        FieldBytes(&r, ORV_F_PICTURE_INFO, &record, sizeof record);
        if (info.hInfo) {
            SIZE_T size = LocalSize(info.hInfo);
            const char* text = size ? (const char*)LocalLock(info.hInfo) : NULL;
            if (text) {
                FieldCp932Text(&r, ORV_F_TEXT_INFO, text, size);
                LocalUnlock(info.hInfo);
            }
        }
    }
    if (info.hInfo)
        LocalFree(info.hInfo);
    return ReplySend(&r, q->serial);
}

/* Progress of the running GetPicture: each call of the plug-in's callback is
 * one PROGRESS frame. Once the host has sent ABORT for the request, the
 * callback asks the plug-in to stop. */
typedef struct ProgressState {
    uint32_t serial;
    int stopped;
    int broken;
} ProgressState;

static int AbortAsked(ProgressState* s)
{
    if (!s->stopped && (uint32_t)InterlockedCompareExchange(&g_abortSerial, 0, 0) == s->serial)
        s->stopped = 1;
    return s->stopped;
}

static int WINAPI ForwardProgress(int current, int total, LONG_PTR data)
{
    ProgressState* s = (ProgressState*)data;
    if (s->broken || AbortAsked(s))
        return 1;
    Reply r;
    ReplyInit(&r, ORV_MSG_PROGRESS, s->serial);
    FieldInt(&r, ORV_F_CURRENT, current);
    FieldInt(&r, ORV_F_TOTAL, total);
    if (r.failed || !ReplySend(&r, s->serial)) {
        s->broken = 1;
        return 1;
    }
    return AbortAsked(s) ? 1 : 0;
}

/* Appends the whole LocalAlloc block as a field. */
static void FieldHandle(Reply* r, uint32_t tag, HLOCAL handle)
{
    SIZE_T size = handle ? LocalSize(handle) : 0;
    if (!handle)
        return;
    if (size > ORV_MAX_FRAME_PAYLOAD) {
        r->failed = 1;
        return;
    }
    void* p = size ? LocalLock(handle) : NULL;
    if (size && !p) {
        r->failed = 1;
        return;
    }
    FieldBytes(r, tag, p, (uint32_t)size);
    if (p)
        LocalUnlock(handle);
}

static int HandlePicture(const Request* q, int entry)
{
    int answered;
    FARPROC proc = EntryFor(q, entry, &answered);
    if (!proc)
        return ANSWERED(answered);
    unsigned int flag = 0;
    LONG_PTR len = 0;
    int64_t status;
    char* buf = PictureInput(q, &flag, &len, &status);
    if (!buf)
        return SendStatus(q->serial, status, NULL);

    ProgressState progress = {q->serial, 0, 0};
    HLOCAL info = NULL, bits = NULL;
    int result = ((GetPictureProc)(void*)proc)(buf, len, flag, &info, &bits, ForwardProgress, (LONG_PTR)&progress);
    HeapFree(GetProcessHeap(), 0, buf);

    Reply r;
    ReplyInit(&r, ORV_MSG_REPLY, q->serial);
    FieldInt(&r, ORV_F_STATUS, ORV_STATUS_OK);
    FieldInt(&r, ORV_F_RESULT, result);
    if (result == 0) {
        FieldHandle(&r, ORV_F_BITMAP_INFO, info);
        FieldHandle(&r, ORV_F_BITMAP_BITS, bits);
    }
    if (info)
        LocalFree(info);
    if (bits)
        LocalFree(bits);
    if (progress.broken) {
        HeapFree(GetProcessHeap(), 0, r.data);
        return 0;
    }
    return ReplySend(&r, q->serial);
}

static int HandleHello(const Request* q)
{
    int64_t protocol = 0;
    if (!FindInt(q, ORV_F_PROTOCOL, &protocol) || protocol != ORV_HELPER_PROTOCOL_VERSION)
        return SendStatus(q->serial, ORV_STATUS_BAD_REQUEST, "protocol version");
    Reply r;
    ReplyInit(&r, ORV_MSG_REPLY, q->serial);
    FieldInt(&r, ORV_F_STATUS, ORV_STATUS_OK);
    FieldInt(&r, ORV_F_PROTOCOL, ORV_HELPER_PROTOCOL_VERSION);
    FieldInt(&r, ORV_F_CAPS, 0);
    FieldInt(&r, ORV_F_KIND, sizeof(void*) == 8 ? ORV_KIND_WINDOWS_64 : ORV_KIND_WINDOWS_32);
    FieldInt(&r, ORV_F_PID, GetCurrentProcessId());
    return ReplySend(&r, q->serial);
}

/* ---------------------------------------------------------------------------
 * Start-up and the request loop
 *
 * A thread of its own reads the input, so that an ABORT for the running
 * request is seen while the plug-in works; every other frame is queued for
 * the main thread, which calls the plug-ins.
 */
typedef struct QueuedFrame {
    OrvFrameHeader header;
    char* payload;
    struct QueuedFrame* next;
} QueuedFrame;

static CRITICAL_SECTION g_queueLock;
static HANDLE g_queued;
static QueuedFrame* g_first;
static QueuedFrame* g_last;

static DWORD WINAPI ReadRequests(LPVOID unused)
{
    (void)unused;
    for (;;) {
        OrvFrameHeader h;
        if (!ReadExact(&h, sizeof h) || h.magic != ORV_HELPER_MAGIC || h.length > ORV_MAX_FRAME_PAYLOAD)
            break;
        QueuedFrame* f = (QueuedFrame*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *f);
        if (!f)
            break;
        f->header = h;
        if (h.length) {
            f->payload = (char*)HeapAlloc(GetProcessHeap(), 0, h.length);
            if (!f->payload || !ReadExact(f->payload, h.length))
                break;
        }
        if (h.type == ORV_MSG_ABORT) {
            InterlockedExchange(&g_abortSerial, (LONG)h.serial);
            if (f->payload)
                HeapFree(GetProcessHeap(), 0, f->payload);
            HeapFree(GetProcessHeap(), 0, f);
            continue;
        }
        EnterCriticalSection(&g_queueLock);
        if (g_last)
            g_last->next = f;
        else
            g_first = f;
        g_last = f;
        LeaveCriticalSection(&g_queueLock);
        ReleaseSemaphore(g_queued, 1, NULL);
    }
    /* End of input: an empty queue tells the main thread to finish. */
    ReleaseSemaphore(g_queued, 1, NULL);
    return 0;
}

/* A plug-in that faults ends the helper at once (the host sees the channel
 * close and names the plug-in), instead of Wine's crash dialog or debugger. */
static LONG WINAPI OnCrash(EXCEPTION_POINTERS* e)
{
    (void)e;
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

int main(void)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(OnCrash);

    /* The protocol keeps the real standard input and output; what plug-ins
     * print or read goes to the null device. */
    g_in = GetStdHandle(STD_INPUT_HANDLE);
    g_out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                             OPEN_EXISTING, 0, NULL);
    if (nul != INVALID_HANDLE_VALUE) {
        SetStdHandle(STD_OUTPUT_HANDLE, nul);
        SetStdHandle(STD_INPUT_HANDLE, nul);
    }

    InitializeCriticalSection(&g_queueLock);
    g_queued = CreateSemaphoreA(NULL, 0, 0x7FFFFFFF, NULL);
    if (!g_queued || !CreateThread(NULL, 0, ReadRequests, NULL, 0, NULL))
        return 1;
    for (;;) {
        WaitForSingleObject(g_queued, INFINITE);
        EnterCriticalSection(&g_queueLock);
        QueuedFrame* f = g_first;
        if (f) {
            g_first = f->next;
            if (!g_first)
                g_last = NULL;
        }
        LeaveCriticalSection(&g_queueLock);
        if (!f)
            break; /* the input has ended */
        Request q = {f->payload, f->header.length, f->header.serial};
        int ok;
        switch (f->header.type) {
        case ORV_MSG_HELLO:
            ok = HandleHello(&q);
            break;
        case ORV_MSG_SPI_LOAD:
            ok = HandleLoad(&q);
            break;
        case ORV_MSG_SPI_PLUGIN_INFO:
            ok = HandlePluginInfo(&q);
            break;
        case ORV_MSG_SPI_IS_SUPPORTED:
            ok = HandleIsSupported(&q);
            break;
        case ORV_MSG_SPI_GET_PICTURE_INFO:
            ok = HandlePictureInfo(&q);
            break;
        case ORV_MSG_SPI_GET_PICTURE:
            ok = HandlePicture(&q, ORV_SPI_ENTRY_GET_PICTURE);
            break;
        case ORV_MSG_SPI_GET_PREVIEW:
            ok = HandlePicture(&q, ORV_SPI_ENTRY_GET_PREVIEW);
            break;
        case ORV_MSG_QUIT:
            ok = 0;
            break;
        default:
            ok = SendStatus(q.serial, ORV_STATUS_BAD_REQUEST, "not served by the Windows helper");
            break;
        }
        if (f->payload)
            HeapFree(GetProcessHeap(), 0, f->payload);
        HeapFree(GetProcessHeap(), 0, f);
        if (!ok)
            break;
    }
    for (uint32_t i = 0; i < g_pluginCount; ++i) {
        if (g_plugins[i].module)
            FreeLibrary(g_plugins[i].module);
    }
    return 0;
}
