/*
 * A Windows Susie import plug-in made for the tests, cross-built with
 * MinGW-w64 (32-bit ".spi" and 64-bit ".sph") and run under Wine by the
 * program's Windows plug-in helper.
 *
 * It reads the tests' own picture format "OWT": the 4 bytes "OWT1", width and
 * height (16 bits each, little-endian), then width x height RGB triples, top
 * row first. It answers with a 24-bit bottom-up bitmap in LocalAlloc blocks,
 * its texts in CP932.
 *
 * "OWTS" is the same format decoded slowly (5 ms a row), for tests that stop a
 * running decode. Built with CRASH_IN_GET_PICTURE it reads "OWTX" files
 * instead and faults in GetPicture. Built with CRASH_IN_PLUGIN_INFO it
 * faults when asked for its first format, after telling its API version.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stddef.h>
#include <string.h>

#pragma pack(push, 1)
typedef struct PictureInfo {
    LONG left, top, width, height;
    WORD xDensity, yDensity;
    SHORT colorDepth;
    HLOCAL hInfo;
} PictureInfo;
#pragma pack(pop)

typedef int(WINAPI* ProgressProc)(int current, int total, LONG_PTR data);

#ifdef CRASH_IN_GET_PICTURE
static const char kMagic[4] = {'O', 'W', 'T', 'X'};
static const char kPattern[] = "*.owx";
#else
static const char kMagic[4] = {'O', 'W', 'T', '1'};
static const char kPattern[] = "*.owt";
#endif
/* "テスト画像" and "コメント" in CP932. */
static const char kFormatName[] = "\x83\x65\x83\x58\x83\x67\x89\xe6\x91\x9c";
static const char kComment[] = "\x83\x52\x83\x81\x83\x93\x83\x67";

#define HEADER_SIZE 8
#define MAX_SIDE 4096

static void CopyText(LPSTR buffer, int length, const char* text)
{
    int n = (int)strlen(text);
    if (n >= length)
        n = length - 1;
    if (n < 0)
        return;
    memcpy(buffer, text, (size_t)n);
    buffer[n] = '\0';
}

__declspec(dllexport) int WINAPI GetPluginInfo(int infoNumber, LPSTR buffer, int length)
{
    const char* text;
#ifdef CRASH_IN_PLUGIN_INFO
    if (infoNumber == 2)
        *(volatile int*)0 = 1;
#endif
    switch (infoNumber) {
    case 0:
        text = "00IN";
        break;
    case 1:
        text = "OWT test plug-in for Windows";
        break;
    case 2:
        text = kPattern;
        break;
    case 3:
        text = kFormatName;
        break;
    default:
        return 0;
    }
    CopyText(buffer, length, text);
    return (int)strlen(buffer);
}

static int HeaderMatches(const unsigned char* head)
{
#ifndef CRASH_IN_GET_PICTURE
    if (memcmp(head, "OWTS", 4) == 0)
        return 1;
#endif
    return memcmp(head, kMagic, 4) == 0;
}

/* The second argument is a file handle when no bit above the low 16 is set,
 * else the address of the data head. */
__declspec(dllexport) int WINAPI IsSupported(LPCSTR name, ULONG_PTR headOrFile)
{
    (void)name;
    unsigned char head[HEADER_SIZE];
    if (headOrFile & ~(ULONG_PTR)0xFFFF)
        return HeaderMatches((const unsigned char*)headOrFile);
    DWORD got = 0;
    if (!ReadFile((HANDLE)headOrFile, head, sizeof head, &got, NULL) || got < 4)
        return 0;
    return HeaderMatches(head);
}

/* The whole data of the input: read from the file (buf a name, len an offset)
 * or copied from memory. Freed with HeapFree. */
static unsigned char* ReadInput(LPCSTR buf, LONG_PTR len, unsigned int flag, DWORD* size)
{
    unsigned char* data;
    if ((flag & 7u) == 1u) {
        if (len < HEADER_SIZE)
            return NULL;
        data = (unsigned char*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)len);
        if (data)
            memcpy(data, buf, (size_t)len);
        *size = (DWORD)len;
        return data;
    }
    HANDLE file = CreateFileA(buf, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
    DWORD fileSize = GetFileSize(file, NULL);
    data = NULL;
    if (fileSize != INVALID_FILE_SIZE && (DWORD)len < fileSize
        && SetFilePointer(file, (LONG)len, NULL, FILE_BEGIN) != INVALID_SET_FILE_POINTER) {
        *size = fileSize - (DWORD)len;
        data = (unsigned char*)HeapAlloc(GetProcessHeap(), 0, *size);
        DWORD got = 0;
        if (data && (!ReadFile(file, data, *size, &got, NULL) || got != *size)) {
            HeapFree(GetProcessHeap(), 0, data);
            data = NULL;
        }
    }
    CloseHandle(file);
    return data;
}

/* Width and height from a complete header; 0 when the data is no OWT
 * picture or shorter than its pixels. */
static int Dimensions(const unsigned char* data, DWORD size, int* width, int* height)
{
    if (size < HEADER_SIZE || !HeaderMatches(data))
        return 0;
    *width = data[4] | data[5] << 8;
    *height = data[6] | data[7] << 8;
    if (*width <= 0 || *height <= 0 || *width > MAX_SIDE || *height > MAX_SIDE)
        return 0;
    return size - HEADER_SIZE >= (DWORD)(*width) * (DWORD)(*height) * 3u;
}

__declspec(dllexport) int WINAPI GetPictureInfo(LPCSTR buf, LONG_PTR len, unsigned int flag, PictureInfo* info)
{
    DWORD size = 0;
    unsigned char* data = ReadInput(buf, len, flag, &size);
    if (!data)
        return 6;
    int width, height;
    int ok = Dimensions(data, size, &width, &height);
    HeapFree(GetProcessHeap(), 0, data);
    if (!ok)
        return 2;
    memset(info, 0, sizeof *info);
    info->width = width;
    info->height = height;
    info->xDensity = 72;
    info->yDensity = 72;
    info->colorDepth = 24;
    info->hInfo = LocalAlloc(LMEM_MOVEABLE, sizeof kComment);
    if (info->hInfo) {
        char* text = (char*)LocalLock(info->hInfo);
        memcpy(text, kComment, sizeof kComment);
        LocalUnlock(info->hInfo);
    }
    return 0;
}

__declspec(dllexport) int WINAPI GetPicture(LPCSTR buf, LONG_PTR len, unsigned int flag, HLOCAL* bitmapInfo,
                                            HLOCAL* bitmapBits, ProgressProc progress, LONG_PTR lData)
{
#ifdef CRASH_IN_GET_PICTURE
    (void)buf;
    (void)len;
    (void)flag;
    (void)bitmapInfo;
    (void)bitmapBits;
    (void)progress;
    (void)lData;
    volatile int* volatile nowhere = NULL;
    *nowhere = 1;
    return 8;
#else
    DWORD size = 0;
    unsigned char* data = ReadInput(buf, len, flag, &size);
    if (!data)
        return 6;
    int width, height;
    if (!Dimensions(data, size, &width, &height)) {
        HeapFree(GetProcessHeap(), 0, data);
        return 2;
    }
    DWORD stride = ((DWORD)width * 3u + 3u) & ~3u;
    HLOCAL infoHandle = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, sizeof(BITMAPINFOHEADER));
    HLOCAL bitsHandle = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, stride * (DWORD)height);
    if (!infoHandle || !bitsHandle) {
        if (infoHandle)
            LocalFree(infoHandle);
        if (bitsHandle)
            LocalFree(bitsHandle);
        HeapFree(GetProcessHeap(), 0, data);
        return 4;
    }
    BITMAPINFOHEADER* header = (BITMAPINFOHEADER*)LocalLock(infoHandle);
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = width;
    header->biHeight = height;
    header->biPlanes = 1;
    header->biBitCount = 24;
    header->biCompression = BI_RGB;
    header->biSizeImage = stride * (DWORD)height;
    LocalUnlock(infoHandle);

    unsigned char* bits = (unsigned char*)LocalLock(bitsHandle);
    int aborted = 0;
    for (int y = 0; y < height && !aborted; ++y) {
        const unsigned char* source = data + HEADER_SIZE + (size_t)y * (size_t)width * 3u;
        unsigned char* row = bits + (size_t)(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            row[x * 3 + 0] = source[x * 3 + 2];
            row[x * 3 + 1] = source[x * 3 + 1];
            row[x * 3 + 2] = source[x * 3 + 0];
        }
        if (data[3] == 'S')
            Sleep(5);
        if (progress && progress(y + 1, height, lData))
            aborted = 1;
    }
    LocalUnlock(bitsHandle);
    HeapFree(GetProcessHeap(), 0, data);
    if (aborted) {
        LocalFree(infoHandle);
        LocalFree(bitsHandle);
        return 1;
    }
    *bitmapInfo = infoHandle;
    *bitmapBits = bitsHandle;
    return 0;
#endif
}

__declspec(dllexport) int WINAPI GetPreview(LPCSTR buf, LONG_PTR len, unsigned int flag, HLOCAL* bitmapInfo,
                                            HLOCAL* bitmapBits, ProgressProc progress, LONG_PTR lData)
{
    return GetPicture(buf, len, flag, bitmapInfo, bitmapBits, progress, lData);
}
