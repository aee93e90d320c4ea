#pragma once
// The inside of the helper program: the channel it answers on, the progress
// and abort machinery shared by its services, and the services that call
// Susie plug-ins and archiver libraries.
#include "helper/HelperFrame.h"

#include <atomic>
#include <cstdint>

namespace helper {

// The helper's side of the conversation.
class HelperChannel {
public:
    HelperChannel(int input, int output, bool descriptors);

    int Input() const { return m_input; }
    bool Descriptors() const { return m_descriptors; }
    void SetDescriptors(bool on) { m_descriptors = on; }

    // Sends a frame; serialised with the progress thread's frames.
    bool Send(MessageBuilder& frame);

    // The request being served (0 between requests).
    void BeginRequest(std::uint32_t serial);
    void EndRequest();
    std::uint32_t CurrentSerial() const { return m_serial.load(); }

    // From a plug-in's progress callback: reports the progress and reads an
    // abort that has arrived. True once the host has asked the current
    // request to stop.
    bool ReportProgress(std::int32_t current, std::int32_t total);
    bool AbortRequested() const { return m_abort.load(); }

    // Runs in its own thread: once a second, while a request runs and the
    // process has read or written files since the last look, sends a bare
    // progress frame; ends the process when the program has ended. Never
    // returns.
    void WatchIo();

private:
    void PollForAbort();

    int m_input;
    int m_output;
    bool m_descriptors;
    std::atomic<std::uint32_t> m_serial{0};
    std::atomic<bool> m_abort{false};
};

// Blocks of at least this size travel in shared memory when the host
// accepts descriptors.
constexpr std::size_t kShmThreshold = 64 * 1024;

// Adds a block to a reply: in a memfd (kept in fds until sent) or inline.
bool AddBlock(HelperChannel& channel, MessageBuilder& reply, std::uint32_t inlineTag, std::uint32_t shmTag,
              const void* data, std::size_t size, std::vector<int>& fds);

// Each serves one request and sends its reply; false when the channel failed.
bool ServeSpi(HelperChannel& channel, const Message& request);
bool ServeArchiver(HelperChannel& channel, const Message& request);

} // namespace helper
