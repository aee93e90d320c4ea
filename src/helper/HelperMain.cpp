// The helper program: loads plug-ins and archiver libraries on the program's
// behalf and answers its requests (HelperProtocol.h) on fd 0 / fd 1 until
// the program closes the channel. Whatever the loaded code does (crash,
// loop, eat memory) ends this process only; the program restarts it.
#include "helper/HelperServices.h"
#include "helper/SharedHeap.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace helper {
namespace {

std::mutex& SendLock()
{
    static std::mutex lock;
    return lock;
}

} // namespace

HelperChannel::HelperChannel(int input, int output, bool descriptors)
    : m_input(input),
      m_output(output),
      m_descriptors(descriptors)
{
}

bool HelperChannel::Send(MessageBuilder& frame)
{
    std::lock_guard<std::mutex> guard(SendLock());
    return frame.Send(m_output);
}

void HelperChannel::BeginRequest(std::uint32_t serial)
{
    m_abort = false;
    m_serial = serial;
}

void HelperChannel::EndRequest()
{
    m_serial = 0;
}

bool HelperChannel::ReportProgress(std::int32_t current, std::int32_t total)
{
    // Every report goes to the program, which hands each one on as the
    // plug-in made it.
    MessageBuilder frame(ORV_MSG_PROGRESS, m_serial.load());
    frame.Int(ORV_F_CURRENT, current).Int(ORV_F_TOTAL, total);
    Send(frame);
    PollForAbort();
    return m_abort.load();
}

void HelperChannel::PollForAbort()
{
    // Only ABORT (or QUIT) can arrive while a request runs.
    while (platform::WaitReadable(m_input, 0) == 1) {
        Message message;
        std::string error;
        if (!message.Receive(m_input, error)) {
            std::fprintf(stderr, "orvanto-helper: %s\n", error.c_str());
            ::_exit(0); // the program is gone
        }
        if (message.type == ORV_MSG_QUIT)
            ::_exit(0);
        if (message.type == ORV_MSG_ABORT && message.serial == m_serial.load())
            m_abort = true;
    }
}

void HelperChannel::WatchIo()
{
    const int parent = platform::ParentProcessId();
    std::uint64_t last = platform::OwnIoCounter();
    std::uint32_t lastSerial = 0;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (platform::ParentHasEnded(parent))
            ::_exit(0); // the program is gone; whatever runs here is no longer wanted
        const std::uint64_t now = platform::OwnIoCounter();
        const std::uint32_t serial = m_serial.load();
        if (serial != 0 && serial == lastSerial && now > last + 64) {
            MessageBuilder frame(ORV_MSG_PROGRESS, serial); // a bare sign of life
            Send(frame);
            // The frame itself is written through the channel.
            last = platform::OwnIoCounter();
        } else {
            last = now;
        }
        lastSerial = serial;
    }
}

bool AddBlock(HelperChannel& channel, MessageBuilder& reply, std::uint32_t inlineTag, std::uint32_t shmTag,
              const void* data, std::size_t size, std::vector<int>& fds)
{
    if (channel.Descriptors() && size >= kShmThreshold) {
        // A block of the shared heap travels as it is.
        const int shared = SharedHeapDescriptor(data, size);
        if (shared >= 0) {
            if (platform::SealSharedMemorySize(shared)) {
                fds.push_back(shared);
                reply.Shm(shmTag, shared, size);
                return true;
            }
            platform::CloseDescriptor(shared);
        }
        const int fd = platform::CreateSharedMemory("orvanto-block", size);
        if (fd >= 0) {
            const char* bytes = static_cast<const char*>(data);
            std::size_t done = 0;
            while (done < size) {
                const ssize_t wrote = ::pwrite(fd, bytes + done, size - done, static_cast<off_t>(done));
                if (wrote <= 0)
                    break;
                done += static_cast<std::size_t>(wrote);
            }
            if (done == size && platform::SealSharedMemorySize(fd)) {
                fds.push_back(fd);
                reply.Shm(shmTag, fd, size);
                return true;
            }
            platform::CloseDescriptor(fd);
        }
    }
    reply.Bytes(inlineTag, data, size);
    return true;
}

namespace {

bool ServeHello(HelperChannel& channel, const Message& request)
{
    MessageBuilder reply(ORV_MSG_REPLY, request.serial);
    const std::int64_t protocol = request.IntOr(ORV_F_PROTOCOL, 0);
    if (protocol != ORV_HELPER_PROTOCOL_VERSION) {
        reply.Int(ORV_F_STATUS, ORV_STATUS_BAD_REQUEST);
        reply.Text(ORV_F_TEXT, "unknown protocol version");
        return channel.Send(reply);
    }
    const bool fds = (request.IntOr(ORV_F_CAPS, 0) & ORV_CAP_FDS) != 0;
    channel.SetDescriptors(fds);
    reply.Int(ORV_F_STATUS, ORV_STATUS_OK)
        .Int(ORV_F_PROTOCOL, ORV_HELPER_PROTOCOL_VERSION)
        .Int(ORV_F_CAPS, fds ? ORV_CAP_FDS : 0)
        .Int(ORV_F_KIND, ORV_KIND_NATIVE)
        .Int(ORV_F_PID, ::getpid());
    return channel.Send(reply);
}

int Serve(HelperChannel& channel)
{
    for (;;) {
        Message request;
        std::string error;
        if (!request.Receive(channel.Input(), error)) {
            if (error != "the channel closed")
                std::fprintf(stderr, "orvanto-helper: %s\n", error.c_str());
            return 0; // the program closed the channel
        }
        bool sent = true;
        channel.BeginRequest(request.serial);
        switch (request.type) {
        case ORV_MSG_HELLO:
            sent = ServeHello(channel, request);
            break;
        case ORV_MSG_QUIT:
            return 0;
        case ORV_MSG_ABORT:
            break; // arrived after its request ended
        case ORV_MSG_SPI_LOAD:
        case ORV_MSG_SPI_PLUGIN_INFO:
        case ORV_MSG_SPI_IS_SUPPORTED:
        case ORV_MSG_SPI_GET_PICTURE_INFO:
        case ORV_MSG_SPI_GET_PICTURE:
        case ORV_MSG_SPI_GET_PREVIEW:
            sent = ServeSpi(channel, request);
            break;
        case ORV_MSG_ARC_CALL:
        case ORV_MSG_ARC_SET_LIMITS:
            sent = ServeArchiver(channel, request);
            break;
        default: {
            MessageBuilder reply(ORV_MSG_REPLY, request.serial);
            reply.Int(ORV_F_STATUS, ORV_STATUS_BAD_REQUEST).Text(ORV_F_TEXT, "unknown request");
            sent = channel.Send(reply);
            break;
        }
        }
        channel.EndRequest();
        if (!sent)
            return 1;
    }
}

} // namespace
} // namespace helper

int main(int argc, char** argv)
{
    (void)argc;
    (void)argv;
    std::signal(SIGPIPE, SIG_IGN);
    helper::HelperChannel channel(0, 1, false);
    std::thread watcher([&channel] { channel.WatchIo(); });
    watcher.detach();
    const int code = helper::Serve(channel);
    std::fflush(nullptr);
    ::_exit(code); // plug-ins' and libraries' destructors are not trusted to run
}
