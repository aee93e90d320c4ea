/*
 * Frames of the Windows plug-in helper: reading and writing whole frames on
 * the helper's standard input and output, building replies and finding the
 * fields of requests (the layout of src/helper/HelperProtocol.h).
 */
#ifndef ORVANTO_SPIHOST_FRAMES_H
#define ORVANTO_SPIHOST_FRAMES_H

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdint.h>

/* The helper's standard input and output, set once at start. */
extern HANDLE g_in;
extern HANDLE g_out;

int ReadExact(void* buffer, uint32_t size);
int WriteExact(const void* buffer, uint32_t size);

/* A frame assembled in one growing buffer, sent in one write. */
typedef struct Reply {
    char* data;
    uint32_t size;
    uint32_t capacity;
    int failed;
} Reply;

void ReplyInit(Reply* r, uint32_t type, uint32_t serial);
void ReplyPut(Reply* r, const void* bytes, uint32_t size);
uint32_t FieldBegin(Reply* r, uint32_t tag);
void FieldEnd(Reply* r, uint32_t at);
void FieldBytes(Reply* r, uint32_t tag, const void* bytes, uint32_t size);
void FieldInt(Reply* r, uint32_t tag, int64_t value);
/* Sends the reply as one frame and frees it; 0 when the write failed. */
int ReplySend(Reply* r, uint32_t serial);

/* Fields of a request: the first field with the tag. */
typedef struct Request {
    const char* payload;
    uint32_t length;
    uint32_t serial;
} Request;

int FindField(const Request* q, uint32_t tag, const char** bytes, uint32_t* size);
int FindInt(const Request* q, uint32_t tag, int64_t* value);

#endif
