#pragma once
// Sample contents and archives for the archiver library tests: source files
// for the real tools, the command lines the format handlers write, and BGA
// archives written from the format's layout (no tool makes them).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ArchiverTestSupport.h"

namespace arctest {

// Text of repeated words (some Japanese) and binary data, from a seed.
std::string Words(size_t bytes, uint32_t seed);
std::string Binary(size_t bytes, uint32_t seed);

// A folder of sources for the archives: a.txt, sub/b.bin, empty.txt.
class SourceFiles {
public:
    SourceFiles();
    std::string src() const { return dir_ / "src"; }
    std::string operator/(const std::string& n) const { return dir_ / n; }
    const std::string& a() const { return a_; }
    const std::string& b() const { return b_; }
    std::map<std::string, std::string> Flat() const { return {{"a.txt", a_}, {"b.bin", b_}, {"empty.txt", ""}}; }

private:
    ScratchDir dir_;
    std::string a_, b_;
};

// Extraction command lines exactly as the format handlers write them for the
// viewer (archive A, destination folder D with its separator).
std::string LhaLine(const std::string& a, const std::string& d);
std::string ZipLine(const std::string& a, const std::string& d);
std::string TarLine(const std::string& a, const std::string& d, const std::string& extra);
std::string RarLine(const std::string& a, const std::string& d);
std::string BgaLine(const std::string& a, const std::string& d);
std::string SevenZipLine(const std::string& a, const std::string& d);

// Little-endian bytes of a number.
std::string Le16(uint16_t v);
std::string Le32(uint32_t v);

// One entry of a BGA archive: GZIP (raw deflate) or BZ2, or stored.
struct BgaEntry {
    std::string dir, name, data;
    bool bzip;
    bool stored;
};
std::string RawDeflate(const std::string& data);
std::string Bzip2(const std::string& data);
std::string BgaArchive(const std::vector<BgaEntry>& entries);

} // namespace arctest
