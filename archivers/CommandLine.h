#pragma once
// The command languages of the archiver libraries, as far as the program's
// format handlers write them.
#include <string>
#include <vector>

namespace arc {

// The command dialect a library reads.
enum class Dialect {
    Lha, // UNLHA32, UNARJ32J: word, -switches, archive, folder\, files
    Unzip, // UNZIP32, LMZIP32 "Unzip": -x word, -o -j --i, archive, folder, files
    Zip, // ZIP32J/LMZIP32 "Zip": switches, archive, base folder, files
    Cab, // CAB32: -x word, -o -i -r -h<dir> -j -q, archive, folder, files
    Tar, // TAR32: word, --switches, -f archive, -o folder, files
    Rar, // UNRAR32: -e/-x word, -u -y -s, archive, folder, files
    Bga, // BGA32: word, -a -n/-o -i -r -j -l<n>, archive, folder, files
    SevenZip, // 7-zip32: word, -ao?, -o<folder>, -x!<name>, archive, files
};

enum class Action { Extract, List, Test, Pack, Delete, Freshen, Unsupported };

enum class Overwrite { Skip, Replace, Rename };

struct Command {
    Action action = Action::Unsupported;
    std::string word;
    std::string archive;
    std::string destination; // empty: current folder
    std::vector<std::string> files; // names and masks; empty = every entry
    std::vector<std::string> excludes; // names and masks left out
    bool keepPaths = true;
    Overwrite overwrite = Overwrite::Skip;
    bool recurse = false; // packing: descend into folders
    bool bracketMasks = false; // masks use [..] classes (ZIP names)
    int level = -1; // packing: compression level
    char compression = 0; // TAR packing: 'z' gzip, 'B' bzip2, 'J' xz, 0 none
};

// Splits a command line into tokens: blanks separate, double quotes group
// and are removed. A token "@file" names a response file (one name a line,
// quotes optional); its names take the token's place.
bool Tokenize(const std::string& line, std::vector<std::string>& tokens, std::string& error);

// Parses a command line. hasWord is false for ExtractMem, whose command lines
// start directly with switches. Returns false with a message on bad input.
bool ParseCommand(Dialect dialect, const std::string& line, bool hasWord, Command& command, std::string& error);

// Matches an entry name against a mask: '*' and '?' as wildcards (and [..]
// classes when bracket is true). A mask without '/' matches the last part of
// the name; a mask with '/' the whole name. Backslashes in masks count as '/'.
bool MatchMask(const std::string& mask, const std::string& name, bool bracket);

} // namespace arc
