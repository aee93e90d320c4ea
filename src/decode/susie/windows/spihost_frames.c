/* Frames of the Windows plug-in helper (see spihost_frames.h). */
#include "spihost_frames.h"

#include <string.h>

#include "../../../helper/HelperProtocol.h"

HANDLE g_in;
HANDLE g_out;

/* ---------------------------------------------------------------------------
 * Frames
 */
int ReadExact(void* buffer, uint32_t size)
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

int WriteExact(const void* buffer, uint32_t size)
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

void ReplyInit(Reply* r, uint32_t type, uint32_t serial)
{
    r->capacity = 256;
    r->data = (char*)HeapAlloc(GetProcessHeap(), 0, r->capacity);
    r->size = ORV_FRAME_HEADER_SIZE;
    r->failed = r->data == NULL;
    if (!r->failed) {
        OrvFrameHeader h = {ORV_HELPER_MAGIC, type, serial, 0};
        memcpy(r->data, &h, sizeof h);
    }
}

void ReplyPut(Reply* r, const void* bytes, uint32_t size)
{
    if (r->failed || size == 0)
        return;
    if ((uint64_t)r->size + size > ORV_MAX_FRAME_PAYLOAD) {
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

/* Opens a field whose size is set by FieldEnd; returns its place. */
uint32_t FieldBegin(Reply* r, uint32_t tag)
{
    OrvFieldHeader f = {tag, 0};
    uint32_t at = r->size;
    ReplyPut(r, &f, sizeof f);
    return at;
}

void FieldEnd(Reply* r, uint32_t at)
{
    if (r->failed)
        return;
    uint32_t size = r->size - at - ORV_FIELD_HEADER_SIZE;
    memcpy(r->data + at + 4, &size, 4);
}

void FieldBytes(Reply* r, uint32_t tag, const void* bytes, uint32_t size)
{
    OrvFieldHeader f = {tag, size};
    ReplyPut(r, &f, sizeof f);
    ReplyPut(r, bytes, size);
}

void FieldInt(Reply* r, uint32_t tag, int64_t value)
{
    FieldBytes(r, tag, &value, 8);
}

/* Sends the frame; one that could not be assembled goes out as a bare
 * ORV_STATUS_NO_MEMORY reply, so the host is never left waiting. */
int ReplySend(Reply* r, uint32_t serial)
{
    int ok;
    if (r->failed) {
        if (r->data)
            HeapFree(GetProcessHeap(), 0, r->data);
        ReplyInit(r, ORV_MSG_REPLY, serial);
        FieldInt(r, ORV_F_STATUS, ORV_STATUS_NO_MEMORY);
        if (r->failed)
            return 0;
    }
    OrvFrameHeader h;
    memcpy(&h, r->data, sizeof h);
    h.length = r->size - ORV_FRAME_HEADER_SIZE;
    memcpy(r->data, &h, sizeof h);
    ok = WriteExact(r->data, r->size);
    HeapFree(GetProcessHeap(), 0, r->data);
    r->data = NULL;
    return ok;
}

int FindField(const Request* q, uint32_t tag, const char** bytes, uint32_t* size)
{
    uint32_t at = 0;
    while (q->length - at >= ORV_FIELD_HEADER_SIZE) {
        OrvFieldHeader f;
        memcpy(&f, q->payload + at, sizeof f);
        at += ORV_FIELD_HEADER_SIZE;
        if (f.size > q->length - at)
            return 0;
        if (f.tag == tag) {
            *bytes = q->payload + at;
            *size = f.size;
            return 1;
        }
        at += f.size;
    }
    return 0;
}

int FindInt(const Request* q, uint32_t tag, int64_t* value)
{
    const char* bytes;
    uint32_t size;
    if (!FindField(q, tag, &bytes, &size) || size != 8)
        return 0;
    memcpy(value, bytes, 8);
    return 1;
}
