/*
 * The binary interface between Orvanto and its Susie plug-ins.
 *
 * Shared by the host (C++) and by the plug-ins (C or C++). It holds no Qt and
 * nothing but the C library, so a plug-in can include it on its own.
 *
 * A plug-in is an ELF shared object with the extension ".spi" that exports
 * the entry points below with C linkage and the platform's normal calling
 * convention. Every text crossing the interface is UTF-8, ended by a zero
 * byte.
 *
 * Memory blocks handed from a plug-in to the host ("local memory handles")
 * are blocks from malloc: the handle is the pointer, locking gives the
 * pointer back, and the receiver frees the block with free. The helpers
 * below are the only functions either side uses for them.
 */
#ifndef ORVANTO_SUSIE_ABI_H
#define ORVANTO_SUSIE_ABI_H

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#if defined(__GLIBC__) || defined(__linux__)
#include <malloc.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------------------
 * Local memory handles
 */
typedef void* SusieLocalHandle;

static inline SusieLocalHandle SusieLocalAlloc(size_t size)
{
    return malloc(size ? size : 1);
}

static inline void SusieLocalFree(SusieLocalHandle handle)
{
    free(handle);
}

static inline void* SusieLocalLock(SusieLocalHandle handle)
{
    return handle;
}

static inline void SusieLocalUnlock(SusieLocalHandle handle)
{
    (void)handle;
}

/* The usable size of a block: at least what was asked for when it was
 * allocated. The host uses it to check that a plug-in's blocks really hold
 * the bytes their headers promise. */
static inline size_t SusieLocalSize(SusieLocalHandle handle)
{
    if (!handle)
        return 0;
#if defined(__GLIBC__) || defined(__linux__)
    return malloc_usable_size(handle);
#else
#error "SusieLocalSize needs a way to tell the size of a malloc block"
#endif
}

/* ---------------------------------------------------------------------------
 * Picture information record, filled by GetPictureInfo.
 *
 * Packed and little-endian: 26 bytes on a 32-bit build. On a 64-bit build two
 * alignment bytes precede the pointer-sized text handle, 32 bytes in all.
 */
#pragma pack(push, 1)
typedef struct SusiePictureInfo {
    int32_t left; /* 0 */
    int32_t top; /* 4 */
    int32_t width; /* 8: pixels */
    int32_t height; /* 12: pixels */
    uint16_t xDensity; /* 16: horizontal pixel density */
    uint16_t yDensity; /* 18: vertical pixel density */
    int16_t colorDepth; /* 20: bits per pixel */
#if UINTPTR_MAX > 0xFFFFFFFFu
    uint8_t alignment[2]; /* 22: padding before the 8-byte handle */
#endif
    SusieLocalHandle hInfo; /* 22 or 24: text information, or 0; the receiver owns it */
} SusiePictureInfo;
#pragma pack(pop)

#if UINTPTR_MAX > 0xFFFFFFFFu
#define SUSIE_PICTURE_INFO_SIZE 32
#define SUSIE_PICTURE_INFO_TEXT_OFFSET 24
#else
#define SUSIE_PICTURE_INFO_SIZE 26
#define SUSIE_PICTURE_INFO_TEXT_OFFSET 22
#endif

#ifdef __cplusplus
static_assert(sizeof(SusiePictureInfo) == SUSIE_PICTURE_INFO_SIZE,
              "the picture information record is 26 bytes on 32-bit builds, 32 on 64-bit builds");
static_assert(offsetof(SusiePictureInfo, hInfo) == SUSIE_PICTURE_INFO_TEXT_OFFSET,
              "the text handle of the picture information record is misplaced");
#else
_Static_assert(sizeof(SusiePictureInfo) == SUSIE_PICTURE_INFO_SIZE,
               "the picture information record is 26 bytes on 32-bit builds, 32 on 64-bit builds");
_Static_assert(offsetof(SusiePictureInfo, hInfo) == SUSIE_PICTURE_INFO_TEXT_OFFSET,
               "the text handle of the picture information record is misplaced");
#endif

/* ---------------------------------------------------------------------------
 * Constants
 */

/* The host's GetPluginInfo buffer: 256 bytes, offered with this length. */
#define SUSIE_INFO_BUFFER_SIZE 256
#define SUSIE_INFO_BUFFER_LENGTH 255

/* IsSupported is given at least this many readable bytes of the data head. */
#define SUSIE_HEAD_SIZE 2048

/* Input kinds of the flag argument (its low three bits). */
#define SUSIE_INPUT_FILE 0u /* buf: file name; len: byte offset in the file */
#define SUSIE_INPUT_MEMORY 1u /* buf: data address; len: data length */
#define SUSIE_INPUT_MASK 7u

/* Result codes. 0 is success; the host tests nothing else. */
#define SUSIE_OK 0
#define SUSIE_NOT_IMPLEMENTED (-1)
#define SUSIE_ABORTED 1
#define SUSIE_UNKNOWN_FORMAT 2
#define SUSIE_BROKEN_DATA 3
#define SUSIE_NO_MEMORY 4
#define SUSIE_MEMORY_ERROR 5
#define SUSIE_FILE_READ_ERROR 6
#define SUSIE_INTERNAL_ERROR 8

/* API versions reported by GetPluginInfo(0). */
#define SUSIE_API_IMPORT "00IN"
#define SUSIE_API_EXPORT "00XN"
#define SUSIE_API_ARCHIVE "00AM"

/* ---------------------------------------------------------------------------
 * Entry points (the exported names are the type names without "Susie" and
 * "Proc": GetPluginInfo, IsSupported, ...).
 */

/* Progress: (current, total, the value passed to GetPicture). A non-zero
 * result asks the plug-in to stop. */
typedef int32_t (*SusieProgressCallback)(int32_t current, int32_t total, intptr_t data);

/* Info number 0: API version; 1: name and version of the plug-in;
 * 2, 4, 6, ...: pattern text of an entry ("*.jpg;*.jpeg");
 * 3, 5, 7, ...: format name of that entry.
 * Result > 0: the buffer holds a zero-ended text (length without the zero). */
typedef int32_t (*SusieGetPluginInfoProc)(int32_t infoNumber, char* buffer, int32_t bufferLength);

/* name: UTF-8 file name, possibly empty; head: the first bytes of the data
 * (at least SUSIE_HEAD_SIZE readable, zeros past the end of the data).
 * Non-zero: the plug-in can decode the data. */
typedef int32_t (*SusieIsSupportedProc)(const char* name, const void* head);

typedef int32_t (*SusieGetPictureInfoProc)(const char* buf, intptr_t len, uint32_t flag, SusiePictureInfo* info);

/* On success (0) *bitmapInfo holds a 40-byte bitmap information header
 * followed by its colour table and *bitmapBits the pixel rows, both local
 * memory handles that now belong to the caller. */
typedef int32_t (*SusieGetPictureProc)(const char* buf, intptr_t len, uint32_t flag, SusieLocalHandle* bitmapInfo,
                                       SusieLocalHandle* bitmapBits, SusieProgressCallback progress, intptr_t data);

typedef SusieGetPictureProc SusieGetPreviewProc;

/* Bound by the host, never called by it. */
typedef int32_t (*SusieConfigurationDlgProc)(void* parent, int32_t function);
typedef int32_t (*SusieGetArchiveInfoProc)(const char* buf, intptr_t len, uint32_t flag, SusieLocalHandle* entries);
typedef int32_t (*SusieGetFileInfoProc)(const char* buf, intptr_t len, const char* name, uint32_t flag, void* entry);
typedef int32_t (*SusieGetFileProc)(const char* src, intptr_t len, char* dest, uint32_t flag,
                                    SusieProgressCallback progress, intptr_t data);

/* Marks a plug-in's exported entry points. */
#if defined(__GNUC__)
#define SUSIE_EXPORT __attribute__((visibility("default")))
#else
#define SUSIE_EXPORT
#endif

#ifdef __cplusplus
}
#endif

#endif /* ORVANTO_SUSIE_ABI_H */
