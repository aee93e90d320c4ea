#pragma once
// One opening of an archive by the user: the archive and every archive
// found in what it unpacks, and in what those unpack, down to MaxDepth
// levels. All of them share one budget of bytes and files; an unpack that
// fails leaves no partial files behind; a damaged or unreadable archive, an
// opening cut short by the budget and nesting too deep are each told in one
// message (helper/HelperClient.h FaultNotices).
#include "ArchiverDll.h"

#include <QString>

#include <cstdint>

class TArchiveOpening {
public:
    static constexpr int MaxDepth = 8;
    static constexpr std::uint64_t ByteBudget = 4ull << 30;
    static constexpr std::uint64_t FileBudget = 10000;

    TArchiveOpening() = default;
    // A smaller budget (tests).
    TArchiveOpening(std::uint64_t bytes, std::uint64_t files) : m_bytesLeft(bytes), m_filesLeft(files) {}

    struct Result {
        std::int32_t code = 0; // the library's return code; 0 success
        bool unpacked = false; // something was unpacked and may be shown
        QString message; // told to the user ("" when nothing was)
        QString output; // what the library wrote about the extraction
    };

    // Unpacks archivePath into folder (which exists). depth is 0 for the
    // archive the user opened, 1 for one found inside it, and so on.
    Result Unpack(const QString& archivePath, const QString& folder, int depth, TWindowHandle window);

    // What Unpack does first: refuses an archive beyond the depth limit or
    // once the budget is spent (told once for the opening); code 0 when it
    // may be unpacked. Lets a caller refuse before making a folder for it.
    Result Refusal(const QString& archivePath, int depth);

    std::uint64_t BytesLeft() const { return m_bytesLeft; }
    std::uint64_t FilesLeft() const { return m_filesLeft; }

    // Removes the archiver libraries' unfinished files (".arc<pid>_<n>.part")
    // below folder; the number removed.
    static int RemovePartialFiles(const QString& folder);

private:
    void Tell(const QString& key, Result& result, const QString& text) const;

    std::uint64_t m_bytesLeft = ByteBudget;
    std::uint64_t m_filesLeft = FileBudget;
    bool m_toldDepth = false; // the depth limit was told for this opening
    bool m_toldBudget = false; // the budget was told for this opening
};
