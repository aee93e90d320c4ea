// Command-line parsing for the archiver libraries.
#include "CommandLine.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace arc {
namespace {

struct Token {
    std::string text;
    bool fromResponse = false;
};

constexpr size_t kMaxResponseBytes = 64u << 20;

bool ReadResponseFile(const std::string& path, std::vector<Token>& out, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "response file cannot be read: " + path;
        return false;
    }
    std::string content;
    char buf[65536];
    while (in.read(buf, sizeof(buf)) || in.gcount() > 0) {
        content.append(buf, static_cast<size_t>(in.gcount()));
        if (content.size() > kMaxResponseBytes) {
            error = "response file too large: " + path;
            return false;
        }
    }
    if (content.size() >= 3 && content.compare(0, 3, "\xEF\xBB\xBF") == 0)
        content.erase(0, 3);
    std::istringstream lines(content);
    std::string line;
    while (std::getline(lines, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        size_t start = 0;
        while (start < line.size() && (line[start] == ' ' || line[start] == '\t'))
            ++start;
        line.erase(0, start);
        if (line.size() >= 2 && line.front() == '"' && line.back() == '"')
            line = line.substr(1, line.size() - 2);
        if (!line.empty())
            out.push_back(Token{line, true});
    }
    return true;
}

bool SplitTokens(const std::string& line, std::vector<Token>& tokens, std::string& error)
{
    size_t i = 0;
    const size_t n = line.size();
    while (i < n) {
        while (i < n && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n'))
            ++i;
        if (i >= n)
            break;
        std::string text;
        while (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '\n') {
            if (line[i] == '"') {
                const size_t close = line.find('"', i + 1);
                if (close == std::string::npos) {
                    error = "unbalanced double quote in the command line";
                    return false;
                }
                text.append(line, i + 1, close - i - 1);
                i = close + 1;
            } else {
                text.push_back(line[i++]);
            }
        }
        if (text.size() > 1 && text[0] == '@') {
            if (!ReadResponseFile(text.substr(1), tokens, error))
                return false;
        } else if (!text.empty()) {
            tokens.push_back(Token{text, false});
        }
    }
    return true;
}

bool EndsWithSeparator(const std::string& s)
{
    return !s.empty() && (s.back() == '/' || s.back() == '\\');
}

bool IsSwitch(const Token& t)
{
    return !t.fromResponse && t.text.size() > 1 && t.text[0] == '-';
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Number following a switch letter ("-x0" -> 0); def when absent, -2 when not a number.
int SwitchValue(const std::string& s, size_t from, int def)
{
    if (from >= s.size())
        return def;
    int v = 0;
    for (size_t i = from; i < s.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i])))
            return -2;
        v = v * 10 + (s[i] - '0');
        if (v > 1000000)
            return -2;
    }
    return v;
}

Action WordAction(Dialect d, const std::string& rawWord, bool& keepPaths, bool& recognised)
{
    // ZIP switches differ by case ("-D" is not "-d").
    std::string w = d == Dialect::Zip ? rawWord : Lower(rawWord);
    recognised = true;
    switch (d) {
    case Dialect::Lha:
    case Dialect::Bga:
        if (w.size() > 1 && w[0] == '-')
            w.erase(0, 1);
        if (w == "x")
            return Action::Extract;
        if (w == "e") {
            keepPaths = false;
            return Action::Extract;
        }
        if (w == "l" || w == "v")
            return Action::List;
        if (w == "t")
            return Action::Test;
        if (d == Dialect::Bga && w == "a")
            return Action::Pack;
        if (d == Dialect::Bga && w == "d")
            return Action::Delete;
        if (w == "a" || w == "u" || w == "m" || w == "f" || w == "d" || w == "s" || w == "c" || w == "p" || w == "y")
            return Action::Unsupported;
        break;
    case Dialect::Unzip:
        if (w == "-x")
            return Action::Extract;
        if (w == "-l" || w == "-v")
            return Action::List;
        if (w == "-t")
            return Action::Test;
        break;
    case Dialect::Zip:
        if (w == "-d")
            return Action::Delete;
        if (w == "-f")
            return Action::Freshen;
        if (w == "-ru" || w == "-r")
            return Action::Pack;
        break;
    case Dialect::Cab:
        if (w == "-x")
            return Action::Extract;
        if (w == "-l")
            return Action::List;
        if (w == "-t")
            return Action::Test;
        if (w == "-a" || w == "-f" || w == "-m")
            return Action::Unsupported;
        break;
    case Dialect::Tar:
        if (w.size() > 1 && w[0] == '-' && w[1] != '-')
            w.erase(0, 1);
        if (!w.empty() && w[0] != '-') {
            // Letters as tar writes them: x/t/c plus compression and 'v', 'f'.
            Action a = Action::Unsupported;
            for (const char c : w) {
                if (c == 'x' || c == 'e')
                    a = Action::Extract;
                else if (c == 't' || c == 'l')
                    a = Action::List;
                else if (c == 'c')
                    a = Action::Pack;
                else if (c != 'v' && c != 'f' && c != 'z' && c != 'j' && c != 'b' && c != 'J' && c != 'Z') {
                    recognised = false;
                    return Action::Unsupported;
                }
            }
            if (a != Action::Unsupported)
                return a;
        }
        break;
    case Dialect::Rar:
        if (w.size() > 1 && w[0] == '-')
            w.erase(0, 1);
        if (w == "x")
            return Action::Extract;
        if (w == "e") {
            keepPaths = false;
            return Action::Extract;
        }
        if (w == "l" || w == "v")
            return Action::List;
        if (w == "t")
            return Action::Test;
        break;
    case Dialect::SevenZip:
        if (w == "x")
            return Action::Extract;
        if (w == "e") {
            keepPaths = false;
            return Action::Extract;
        }
        if (w == "l")
            return Action::List;
        if (w == "t")
            return Action::Test;
        if (w == "a" || w == "u")
            return Action::Pack;
        if (w == "d")
            return Action::Delete;
        break;
    }
    recognised = false;
    return Action::Unsupported;
}

} // namespace

bool Tokenize(const std::string& line, std::vector<std::string>& tokens, std::string& error)
{
    std::vector<Token> t;
    if (!SplitTokens(line, t, error))
        return false;
    tokens.clear();
    for (auto& x : t)
        tokens.push_back(std::move(x.text));
    return true;
}

bool ParseCommand(Dialect d, const std::string& line, bool hasWord, Command& c, std::string& error)
{
    std::vector<Token> tokens;
    if (!SplitTokens(line, tokens, error))
        return false;
    c = Command{};
    c.bracketMasks = d == Dialect::Unzip || d == Dialect::Zip;
    size_t i = 0;
    if (!hasWord) {
        c.action = Action::Extract;
    } else if (d == Dialect::Zip) {
        c.action = Action::Pack;
        if (!tokens.empty() && !tokens[0].fromResponse) {
            bool recognised = false;
            const Action a = WordAction(d, tokens[0].text, c.keepPaths, recognised);
            if (recognised) {
                c.word = tokens[0].text;
                c.action = a;
                if (Lower(c.word) == "-ru" || Lower(c.word) == "-r")
                    c.recurse = true;
                i = 1;
            }
        }
    } else if (d == Dialect::Unzip) {
        c.action = Action::Extract; // extraction when no word is given
        if (!tokens.empty()) {
            bool recognised = false;
            const Action a = WordAction(d, tokens[0].text, c.keepPaths, recognised);
            if (recognised) {
                c.word = tokens[0].text;
                c.action = a;
                i = 1;
            }
        }
    } else {
        if (tokens.empty()) {
            error = "empty command line";
            return false;
        }
        bool recognised = false;
        c.word = tokens[0].text;
        c.action = WordAction(d, c.word, c.keepPaths, recognised);
        if (!recognised) {
            error = "unknown command: " + c.word;
            return false;
        }
        i = 1;
    }

    // Default overwrite rule per language.
    c.overwrite = (d == Dialect::Tar || d == Dialect::Rar) ? Overwrite::Replace : Overwrite::Skip;
    bool overwriteChosen = false;
    bool archiveSet = false, destinationSet = false;
    bool lastWasArchive = false;
    std::string pending; // TAR: "-f" / "-o" waiting for their value

    for (; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        const std::string& s = t.text;
        if (!pending.empty()) {
            if (pending == "f") {
                c.archive = s;
                archiveSet = true;
            } else {
                c.destination = s;
                destinationSet = true;
            }
            pending.clear();
            lastWasArchive = false;
            continue;
        }
        if (IsSwitch(t)) {
            lastWasArchive = false;
            const std::string low = Lower(s);
            switch (d) {
            case Dialect::Lha:
                if (low[1] == 'x' && low.size() <= 3
                    && (low.size() == 2 || std::isdigit(static_cast<unsigned char>(low[2])))) {
                    if (Lower(c.word) == "x" || Lower(c.word) == "-x" || !hasWord)
                        c.keepPaths = SwitchValue(s, 2, 1) != 0;
                } else if (low[1] == 'c' && low.size() <= 3
                           && (low.size() == 2 || std::isdigit(static_cast<unsigned char>(low[2])))) {
                    c.overwrite = SwitchValue(s, 2, 1) > 0 ? Overwrite::Replace : Overwrite::Skip;
                } else if (low.compare(0, 3, "-jx") == 0 && s.size() > 3) {
                    c.excludes.push_back(s.substr(3));
                }
                break;
            case Dialect::Unzip:
                if (low == "-o")
                    c.overwrite = Overwrite::Replace;
                else if (low == "-n")
                    c.overwrite = Overwrite::Skip;
                else if (s == "-j")
                    c.keepPaths = false;
                break;
            case Dialect::Zip:
                if (low == "-r" || low == "-ru" || low == "-rp")
                    c.recurse = true;
                else if (s == "-j")
                    c.keepPaths = false;
                else if (s.size() == 2 && std::isdigit(static_cast<unsigned char>(s[1])))
                    c.level = s[1] - '0';
                break;
            case Dialect::Cab:
                if (low == "-o")
                    c.overwrite = Overwrite::Replace;
                else if (low == "-j")
                    c.keepPaths = false;
                else if (low == "-r")
                    c.recurse = true;
                break;
            case Dialect::Tar:
                if (low.compare(0, 16, "--use-directory=") == 0) {
                    c.keepPaths = SwitchValue(s, 16, 1) != 0;
                } else if (s == "-f") {
                    pending = "f";
                } else if (s == "-o") {
                    pending = "o";
                } else if (s[1] == 'z' || s[1] == 'B' || s[1] == 'J') {
                    const int v = SwitchValue(s, 2, -1);
                    if (v != -2) {
                        c.compression = s[1];
                        c.level = v;
                    }
                }
                break;
            case Dialect::Rar:
                if (low == "-u") {
                    c.overwrite = Overwrite::Skip;
                    overwriteChosen = true;
                } else if (low == "-y" && !overwriteChosen)
                    c.overwrite = Overwrite::Replace;
                break;
            case Dialect::Bga:
                if (low == "-n")
                    c.overwrite = Overwrite::Skip;
                else if (low == "-o")
                    c.overwrite = Overwrite::Replace;
                else if (low == "-j")
                    c.keepPaths = false;
                else if (low == "-r")
                    c.recurse = true;
                else if (low[1] == 'l') {
                    const int v = SwitchValue(s, 2, -1);
                    if (v >= 0)
                        c.level = v;
                }
                break;
            case Dialect::SevenZip:
                if (low == "-aoa") {
                    c.overwrite = Overwrite::Replace;
                    overwriteChosen = true;
                } else if (low == "-aos") {
                    c.overwrite = Overwrite::Skip;
                    overwriteChosen = true;
                } else if (low == "-aou" || low == "-aot") {
                    c.overwrite = Overwrite::Rename;
                    overwriteChosen = true;
                } else if (low == "-y" && !overwriteChosen)
                    c.overwrite = Overwrite::Replace;
                else if (low == "-r")
                    c.recurse = true;
                else if (low == "-r-")
                    c.recurse = false;
                else if (low[1] == 'o' && s.size() > 2) {
                    c.destination = s.substr(2);
                    destinationSet = true;
                } else if (low.compare(0, 3, "-x!") == 0 && s.size() > 3)
                    c.excludes.push_back(s.substr(3));
                break;
            }
            continue;
        }
        // A name: the archive, then (directly after it) a folder, then files.
        if (!archiveSet) {
            c.archive = s;
            archiveSet = true;
            lastWasArchive = true;
            continue;
        }
        if (lastWasArchive && !destinationSet && d != Dialect::SevenZip && d != Dialect::Tar && !t.fromResponse
            && EndsWithSeparator(s)) {
            c.destination = s;
            destinationSet = true;
            lastWasArchive = false;
            continue;
        }
        lastWasArchive = false;
        c.files.push_back(s);
    }
    if (!pending.empty()) {
        error = "switch -" + pending + " lacks its value";
        return false;
    }
    if (c.archive.empty()) {
        error = "no archive named in the command line";
        return false;
    }
    return true;
}

namespace {

char Fold(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool MatchFrom(const char* m, const char* n, bool bracket, int depth)
{
    if (depth > 64)
        return false;
    while (*m != '\0') {
        if (*m == '*') {
            while (*m == '*')
                ++m;
            if (*m == '\0')
                return true;
            for (const char* k = n; *k != '\0'; ++k)
                if (MatchFrom(m, k, bracket, depth + 1))
                    return true;
            return false;
        }
        if (*n == '\0')
            return false;
        if (*m == '?') {
            ++m;
            ++n;
            continue;
        }
        if (bracket && *m == '[') {
            const char* p = m + 1;
            bool negate = false;
            if (*p == '!' || *p == '^') {
                negate = true;
                ++p;
            }
            bool matched = false;
            const char* start = p;
            while (*p != '\0' && (*p != ']' || p == start)) {
                if (p[1] == '-' && p[2] != '\0' && p[2] != ']') {
                    if (Fold(*n) >= Fold(p[0]) && Fold(*n) <= Fold(p[2]))
                        matched = true;
                    p += 3;
                } else {
                    if (Fold(*p) == Fold(*n))
                        matched = true;
                    ++p;
                }
            }
            if (*p == ']') {
                if (matched == negate)
                    return false;
                m = p + 1;
                ++n;
                continue;
            }
            // No closing bracket: '[' is an ordinary character.
        }
        const char mc = *m == '\\' ? '/' : *m;
        if (Fold(mc) != Fold(*n))
            return false;
        ++m;
        ++n;
    }
    return *n == '\0';
}

} // namespace

bool MatchMask(const std::string& mask, const std::string& name, bool bracket)
{
    std::string m = mask;
    for (char& ch : m)
        if (ch == '\\' && !bracket)
            ch = '/';
    if (m == "*.*")
        m = "*";
    const bool whole = m.find('/') != std::string::npos;
    std::string subject = name;
    while (!subject.empty() && subject.back() == '/')
        subject.pop_back();
    if (!whole) {
        const size_t slash = subject.find_last_of('/');
        if (slash != std::string::npos)
            subject = subject.substr(slash + 1);
    }
    return MatchFrom(m.c_str(), subject.c_str(), bracket, 0);
}

} // namespace arc
