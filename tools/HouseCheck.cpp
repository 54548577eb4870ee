// The house's structural checks, run by scripts/check before the tests:
//   house-check lengths MAX ROOT FOLDER...  every function in the C++ files below ROOT/FOLDER is at
//                                           most MAX lines, from its declaration's first line to its
//                                           closing brace's line
//   house-check layers ROOT                 no file of ROOT/src includes a header of a layer it may
//                                           not use: the arrows are the tarnwick_layer() definitions
//                                           of ROOT/CMakeLists.txt, followed to the end; an include
//                                           is found as the compiler finds it (`..` resolved)
// Each prints a line a fault ("path:line: ...") and exits 1 when there is any; it exits 2 when it
// could not look at everything (a file or folder it cannot read, a usage error), saying why on
// stderr. Neither follows a symbolic link: each link below the folders is a fault, since what it
// reaches would go unchecked, or loop. The standard library only: a fresh machine has a compiler
// before anything else.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Fault {
    std::string where;
    std::string text;
};

// What one run found: faults in the tree, and what it could not look at.
struct Report {
    std::vector<Fault> faults;
    std::vector<std::string> errors;

    void cannot(const std::string& what, const std::string& path, const std::string& reason) {
        errors.push_back("cannot " + what + " " + path + ": " + reason);
    }
};

// The whole file; nothing (and an error in the report) when it cannot be read to its end.
std::optional<std::string> readFile(const fs::path& path, const std::string& shown, Report& report) {
    const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        report.cannot("read", shown, std::strerror(errno));
        return std::nullopt;
    }
    std::string text;
    char buffer[1 << 16];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        text.append(buffer, got);
    if (std::ferror(file.get())) {
        report.cannot("read", shown, std::strerror(errno));
        return std::nullopt;
    }
    return text;
}

bool isIdentifierChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

bool isSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c));
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The source with comments, string and character literals and preprocessor lines blanked out,
// newlines kept, so that what is left is code and every position keeps its line.
class Stripper {
public:
    explicit Stripper(std::string text) : m_text(std::move(text)) {}

    std::string run() {
        bool lineStart = true;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at];
            if (c == '\n') {
                lineStart = true;
                ++m_at;
                continue;
            }
            if (lineStart && c == '#') {
                blankDirective();
                continue;
            }
            if (!isSpace(c))
                lineStart = false;
            if (c == '/' && next() == '/')
                blankUntil("\n", false);
            else if (c == '/' && next() == '*')
                blankUntil("*/", true);
            else if (c == '"' && m_at > 0 && m_text[m_at - 1] == 'R')
                blankRawString();
            else if (c == '"')
                blankQuoted('"');
            else if (c == '\'' && !digitSeparator())
                blankQuoted('\'');
            else
                ++m_at;
        }
        return m_text;
    }

private:
    char next() const { return m_at + 1 < m_text.size() ? m_text[m_at + 1] : '\0'; }

    void blank(size_t from, size_t to) {
        for (size_t i = from; i < to && i < m_text.size(); ++i) {
            if (m_text[i] != '\n')
                m_text[i] = ' ';
        }
    }

    // A directive, with the lines its backslashes continue it onto.
    void blankDirective() {
        const size_t from = m_at;
        while (m_at < m_text.size() && m_text[m_at] != '\n') {
            if (m_text[m_at] == '\\' && next() == '\n')
                ++m_at;
            ++m_at;
        }
        blank(from, m_at);
    }

    void blankUntil(const std::string& end, bool includeEnd) {
        const size_t from = m_at;
        const size_t hit = m_text.find(end, m_at + 2);
        m_at = hit == std::string::npos ? m_text.size() : hit + (includeEnd ? end.size() : 0);
        blank(from, m_at);
    }

    void blankQuoted(char quote) {
        const size_t from = m_at++;
        while (m_at < m_text.size() && m_text[m_at] != quote && m_text[m_at] != '\n') {
            if (m_text[m_at] == '\\')
                ++m_at;
            ++m_at;
        }
        ++m_at;
        blank(from, m_at);
    }

    // R"delimiter( ... )delimiter", with or without an encoding prefix.
    void blankRawString() {
        const size_t open = m_text.find('(', m_at);
        if (open == std::string::npos) {
            blankQuoted('"');
            return;
        }
        const std::string end = ")" + m_text.substr(m_at + 1, open - m_at - 1) + "\"";
        const size_t from = m_at;
        const size_t hit = m_text.find(end, open);
        m_at = hit == std::string::npos ? m_text.size() : hit + end.size();
        blank(from, m_at);
    }

    // 100'000: a quote inside a token that begins with a digit separates digits.
    bool digitSeparator() const {
        size_t start = m_at;
        while (start > 0 &&
               (isIdentifierChar(m_text[start - 1]) || m_text[start - 1] == '\'' || m_text[start - 1] == '.'))
            --start;
        return start < m_at && std::isdigit(static_cast<unsigned char>(m_text[start]));
    }

    std::string m_text;
    size_t m_at = 0;
};

// A declaration head without its template heads, attributes and `inline`/`export` in front.
std::string declarationOf(const std::string& head) {
    std::string text = trimmed(head);
    for (;;) {
        if (text.rfind("template", 0) == 0 && text.find('<') != std::string::npos) {
            int depth = 0;
            size_t i = text.find('<');
            for (; i < text.size(); ++i) {
                if (text[i] == '<')
                    ++depth;
                else if (text[i] == '>' && --depth == 0)
                    break;
            }
            text = i >= text.size() ? std::string() : trimmed(text.substr(i + 1));
        } else if (text.rfind("[[", 0) == 0) {
            const size_t end = text.find("]]");
            text = end == std::string::npos ? std::string() : trimmed(text.substr(end + 2));
        } else if (text.rfind("inline ", 0) == 0 || text.rfind("export ", 0) == 0) {
            text = trimmed(text.substr(7));
        } else {
            return text;
        }
    }
}

std::string firstWord(const std::string& text) {
    size_t end = 0;
    while (end < text.size() && isIdentifierChar(text[end]))
        ++end;
    return text.substr(0, end);
}

// Past an operator's name ("operator()", "operator<=", "operator bool") from `at`, where the word
// "operator" begins; `at` itself when it is not there.
size_t pastOperatorName(const std::string& text, size_t at) {
    if (text.compare(at, 8, "operator") != 0 || (at > 0 && isIdentifierChar(text[at - 1])) ||
        (at + 8 < text.size() && isIdentifierChar(text[at + 8])))
        return at;
    size_t i = at + 8;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    if (text.compare(i, 2, "()") == 0)
        return i + 2;
    while (i < text.size() && std::string("=<>!+-*/%^&|~[],").find(text[i]) != std::string::npos)
        ++i;
    return i;
}

// Where a declaration head's top-level parts are: its parameter lists (outside template
// brackets), an `=` before the first one, and a constructor's initialiser colon after it.
struct HeadShape {
    std::vector<std::pair<size_t, size_t>> groups; // ( ) at the top level
    bool initialiserBeforeParameters = false;
    size_t initialiserColon = std::string::npos;
};

HeadShape shapeOf(const std::string& text) {
    HeadShape shape;
    int parens = 0;
    int angles = 0;
    size_t open = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (parens == 0 && text[i] == 'o') {
            if (const size_t past = pastOperatorName(text, i); past != i) {
                i = past - 1;
                continue;
            }
        }
        const char c = text[i];
        if (c == '(') {
            if (parens++ == 0 && angles == 0)
                open = i;
        } else if (c == ')' && parens > 0) {
            if (--parens == 0 && angles == 0)
                shape.groups.push_back({open, i});
        } else if (parens == 0) {
            if (c == '<')
                ++angles;
            else if (c == '>' && angles > 0 && (i == 0 || text[i - 1] != '-'))
                --angles;
            else if (c == '=' && angles == 0 && shape.groups.empty())
                shape.initialiserBeforeParameters = true;
            else if (c == ':' && angles == 0 && !shape.groups.empty() &&
                     shape.initialiserColon == std::string::npos && (i == 0 || text[i - 1] != ':') &&
                     (i + 1 >= text.size() || text[i + 1] != ':'))
                shape.initialiserColon = i;
        }
    }
    return shape;
}

enum class Opening { scope, function, initialiser };

Opening openingOf(const std::string& head) {
    const std::string text = declarationOf(head);
    const std::string keyword = firstWord(text);
    if (keyword == "class" || keyword == "struct" || keyword == "union" || keyword == "namespace" ||
        keyword == "extern")
        return Opening::scope;
    if (keyword == "enum")
        return Opening::initialiser;
    const HeadShape shape = shapeOf(text);
    if (shape.groups.empty() || shape.initialiserBeforeParameters)
        return Opening::initialiser;
    // `m_a{b}` among a constructor's initialisers: the body opens after a ) or a }.
    const char last = text.empty() ? '\0' : text.back();
    if (shape.initialiserColon != std::string::npos && (isIdentifierChar(last) || last == '>'))
        return Opening::initialiser;
    return Opening::function;
}

// The name a fault gives: the qualified name before the parameter list (before a constructor's
// initialisers; a test macro keeps its arguments).
std::string functionName(const std::string& head) {
    const std::string text = declarationOf(head);
    const HeadShape shape = shapeOf(text);
    static const std::set<std::string> notNames{"noexcept", "decltype", "throw", "requires", "alignas"};
    std::string chosen;
    for (const auto& [open, close] : shape.groups) {
        if (shape.initialiserColon != std::string::npos && open > shape.initialiserColon)
            break;
        size_t start = open;
        while (start > 0 && isSpace(text[start - 1]))
            --start;
        const size_t end = start;
        // An operator's name: "operator==", "operator()", "operator bool".
        for (size_t word = text.rfind("operator", end); word != std::string::npos && word + 16 >= end;
             word = word == 0 ? std::string::npos : text.rfind("operator", word - 1)) {
            size_t past = pastOperatorName(text, word);
            while (past < end && isIdentifierChar(text[past]))
                ++past;
            if (past != word && past == end) {
                start = word;
                break;
            }
        }
        while (start > 0 &&
               (isIdentifierChar(text[start - 1]) || text[start - 1] == ':' || text[start - 1] == '~'))
            --start;
        std::string name = text.substr(start, end - start);
        if (name.empty() || notNames.count(name) > 0)
            continue;
        if (name.rfind("TEST", 0) == 0)
            name += text.substr(open, close - open + 1);
        chosen = name;
        if (name.rfind("TEST", 0) == 0)
            break;
    }
    return chosen.empty() ? std::string("a function") : chosen;
}

// Access specifiers end a head without a semicolon.
bool endsInAccessSpecifier(const std::string& head) {
    static const std::set<std::string> words{"public", "protected", "private", "signals",
                                             "slots",  "Q_SIGNALS", "Q_SLOTS"};
    std::istringstream in(head);
    std::string word;
    std::string last;
    while (in >> word)
        last = word;
    return words.count(last) > 0;
}

// Walks one file's code (stripped) brace by brace: at namespace and class level it gathers each
// declaration's head and decides what a brace opens; inside a function body or an initialiser it
// only counts braces.
class LengthWalk {
public:
    LengthWalk(std::string shown, int maxLines, std::vector<Fault>& faults)
        : m_shown(std::move(shown)), m_maxLines(maxLines), m_faults(faults) {}

    void run(const std::string& code) {
        for (size_t i = 0; i < code.size(); ++i) {
            const char c = code[i];
            if (c == '\n')
                ++m_line;
            if (m_depth > 0)
                inside(c);
            else if (!atScopeLevel(c, i + 1 < code.size() ? code[i + 1] : '\0'))
                return;
        }
        if (m_depth > 0 || m_scopes > 0)
            m_faults.push_back({m_shown, "braces that do not close"});
    }

private:
    void inside(char c) {
        if (!m_body)
            m_head += c;
        if (c == '{') {
            ++m_depth;
        } else if (c == '}' && --m_depth == 0 && m_body) {
            m_body = false;
            m_head.clear();
            const int lines = m_line - m_bodyLine + 1;
            if (lines > m_maxLines)
                fault(m_bodyLine, m_name + " has " + std::to_string(lines) + " lines (at most " +
                                      std::to_string(m_maxLines) + ")");
        }
    }

    // False when the walk cannot go on. `next` tells an access specifier's colon from the first of
    // a `::` ("class A : public ::testing::Test {").
    bool atScopeLevel(char c, char next) {
        if (c == '{') {
            opening();
        } else if (c == '}') {
            if (m_scopes == 0) {
                fault(m_line, "a closing brace that opens nowhere");
                return false;
            }
            --m_scopes;
            m_head.clear();
        } else if (c == ';' || (c == ':' && next != ':' && !m_head.empty() && m_head.back() != ':' &&
                                endsInAccessSpecifier(m_head))) {
            m_head.clear();
        } else if (!m_head.empty() || !isSpace(c)) {
            if (m_head.empty())
                m_headLine = m_line;
            m_head += isSpace(c) ? ' ' : c;
        }
        return true;
    }

    void opening() {
        // A lambda or braces among a constructor's initialisers' arguments.
        const bool inParentheses =
            std::count(m_head.begin(), m_head.end(), '(') > std::count(m_head.begin(), m_head.end(), ')');
        switch (inParentheses ? Opening::initialiser : openingOf(m_head)) {
        case Opening::scope:
            ++m_scopes;
            m_head.clear();
            break;
        case Opening::function:
            m_name = functionName(m_head);
            m_body = true;
            m_bodyLine = m_headLine;
            m_depth = 1;
            break;
        case Opening::initialiser:
            m_head += '{';
            m_depth = 1;
            break;
        }
    }

    void fault(int line, std::string text) {
        m_faults.push_back({m_shown + ":" + std::to_string(line), std::move(text)});
    }

    const std::string m_shown;
    const int m_maxLines;
    std::vector<Fault>& m_faults;
    std::string m_head; // the declaration so far, at scope level, or with an initialiser's braces
    int m_scopes = 0;   // namespaces and classes open
    int m_line = 1;
    int m_depth = 0;     // braces open inside the current function body, or an initialiser's
    int m_headLine = 0;  // where the head began
    int m_bodyLine = 0;  // where the current function's declaration began
    bool m_body = false; // inside a function body (else inside an initialiser while m_depth > 0)
    std::string m_name;
};

bool isSource(const fs::path& path) {
    const std::string ext = path.extension().string();
    return ext == ".cpp" || ext == ".h" || ext == ".hpp" || ext == ".cc";
}

// A link is not followed: where it leads would go unchecked, or round in a loop.
void linkFault(const fs::path& path, const std::string& shown, Report& report) {
    std::error_code error;
    const fs::path target = fs::read_symlink(path, error);
    std::string text =
        "a symbolic link to " + (error ? std::string("where it cannot read") : target.string());
    const fs::file_status reached = fs::status(path, error);
    if (error == std::errc::too_many_symbolic_link_levels)
        text += ", which loops";
    else if (reached.type() == fs::file_type::not_found)
        text += ", which leads nowhere";
    report.faults.push_back({shown, text + ": the checks follow no link (keep the file itself in the tree)"});
}

// The sources below ROOT/FOLDER (as paths relative to ROOT), in order. Links are faults; a folder or
// an entry that cannot be read is an error.
std::vector<std::string> sourcesBelow(const fs::path& root, const std::string& folder, Report& report) {
    std::vector<std::string> files;
    std::vector<fs::path> entries{folder};
    while (!entries.empty()) {
        const fs::path relative = entries.back();
        entries.pop_back();
        const std::string shown = relative.generic_string();
        std::error_code error;
        const fs::file_status status = fs::symlink_status(root / relative, error);
        if (error) {
            report.cannot("look at", shown, error.message());
        } else if (fs::is_symlink(status)) {
            linkFault(root / relative, shown, report);
        } else if (fs::is_directory(status)) {
            std::vector<fs::path> inside;
            fs::directory_iterator it(root / relative, error);
            for (const fs::directory_iterator end; !error && it != end; it.increment(error))
                inside.push_back(relative / it->path().filename());
            if (error)
                report.cannot("list", shown, error.message());
            std::sort(inside.rbegin(), inside.rend()); // taken from the back: in order
            entries.insert(entries.end(), inside.begin(), inside.end());
        } else if (isSource(relative)) {
            if (fs::is_regular_file(status))
                files.push_back(shown);
            else
                report.cannot("read", shown, "not a regular file");
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Every function of the files below ROOT/FOLDER longer than `maxLines`.
void checkLengths(const fs::path& root, const std::string& folder, int maxLines, Report& report) {
    for (const std::string& file : sourcesBelow(root, folder, report)) {
        if (const auto text = readFile(root / file, file, report))
            LengthWalk(file, maxLines, report.faults).run(Stripper(*text).run());
    }
}

// The layer a path below src/ belongs to ("platform/media/..." is the media layer), empty when none.
std::string layerOf(const std::string& path, const std::map<std::string, std::set<std::string>>& uses) {
    if (path.rfind("platform/media/", 0) == 0)
        return "media";
    const std::string first = path.substr(0, path.find('/'));
    return path.find('/') != std::string::npos && uses.count(first) > 0 ? first : std::string();
}

// tarnwick_layer(NAME tarnwick_X ... [PRIVATE ...]) of CMakeLists.txt: each layer's public arrows,
// followed to the end.
std::map<std::string, std::set<std::string>> layerArrows(const std::string& text) {
    std::map<std::string, std::set<std::string>> direct;
    const std::string call = "\ntarnwick_layer(";
    for (size_t at = text.find(call); at != std::string::npos; at = text.find(call, at + 1)) {
        const size_t end = text.find(')', at);
        std::istringstream words(text.substr(at + call.size(), end - at - call.size()));
        std::string layer;
        std::string word;
        words >> layer;
        direct[layer];
        while (words >> word && word != "PRIVATE") {
            if (word.rfind("tarnwick_", 0) == 0)
                direct[layer].insert(word.substr(9));
        }
    }
    std::map<std::string, std::set<std::string>> all;
    for (const auto& [layer, uses] : direct) {
        std::set<std::string> reached;
        std::vector<std::string> next(uses.begin(), uses.end());
        while (!next.empty()) {
            const std::string one = next.back();
            next.pop_back();
            if (!reached.insert(one).second)
                continue;
            for (const std::string& further : direct[one])
                next.push_back(further);
        }
        reached.insert(layer);
        all[layer] = reached;
    }
    return all;
}

// The file below src/ an include of `file` (below src/) reaches, `..` resolved: for a quoted one
// beside the including file first, as the compiler looks, then below src/ (the include path).
// Empty when it leads out of src/.
std::string includedFile(const fs::path& src, const std::string& file, const std::string& header,
                         bool quoted) {
    const auto inside = [](const fs::path& path) { return !path.empty() && *path.begin() != ".."; };
    if (quoted) {
        const fs::path beside = (fs::path(file).parent_path() / header).lexically_normal();
        std::error_code error;
        if (inside(beside) && fs::exists(src / beside, error))
            return beside.generic_string();
    }
    const fs::path below = fs::path(header).lexically_normal();
    return inside(below) ? below.generic_string() : std::string();
}

void checkIncludes(const fs::path& src, const std::string& file, const std::string& from,
                   const std::map<std::string, std::set<std::string>>& uses, Report& report) {
    const auto text = readFile(src / file, "src/" + file, report);
    if (!text)
        return;
    std::istringstream lines(*text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        const std::string code = trimmed(line);
        if (code.rfind("#", 0) != 0)
            continue;
        const std::string directive = trimmed(code.substr(1));
        if (directive.rfind("include", 0) != 0)
            continue;
        const size_t open = directive.find_first_of("\"<");
        const size_t close = open == std::string::npos ? open : directive.find_first_of("\">", open + 1);
        if (close == std::string::npos)
            continue;
        const std::string header = directive.substr(open + 1, close - open - 1);
        const std::string reached = includedFile(src, file, header, directive[open] == '"');
        const std::string to = layerOf(reached, uses);
        if (to.empty() || uses.at(from).count(to) > 0)
            continue;
        const std::string shown = reached == header ? header : header + " (src/" + reached + ")";
        report.faults.push_back(
            {"src/" + file + ":" + std::to_string(number),
             "the " + from + " layer includes " + shown + " of the " + to + " layer, which it may not use"});
    }
}

void checkLayers(const fs::path& root, Report& report) {
    const auto cmakeLists = readFile(root / "CMakeLists.txt", "CMakeLists.txt", report);
    if (!cmakeLists)
        return;
    const auto uses = layerArrows(*cmakeLists);
    if (uses.empty()) {
        report.errors.push_back("found no tarnwick_layer() definitions in CMakeLists.txt");
        return;
    }
    for (const std::string& path : sourcesBelow(root, "src", report)) {
        const std::string file = path.substr(4);
        if (const std::string from = layerOf(file, uses); !from.empty())
            checkIncludes(root / "src", file, from, uses, report);
    }
}

int usage() {
    std::cerr << "usage: house-check lengths MAX ROOT FOLDER... | house-check layers ROOT\n";
    return 2;
}

int run(const std::vector<std::string>& args) {
    Report report;
    if (args.size() >= 3 && args[0] == "lengths") {
        if (args[1].empty() || args[1].size() > 6 ||
            args[1].find_first_not_of("0123456789") != std::string::npos)
            return usage();
        const int maxLines = std::stoi(args[1]);
        for (size_t i = 3; i < args.size(); ++i)
            checkLengths(args[2], args[i], maxLines, report);
    } else if (args.size() == 2 && args[0] == "layers") {
        checkLayers(args[1], report);
    } else {
        return usage();
    }
    for (const Fault& fault : report.faults)
        std::cout << fault.where << ": " << fault.text << "\n";
    std::cout.flush();
    for (const std::string& error : report.errors)
        std::cerr << "house-check " << args[0] << ": " << error << "\n";
    if (!std::cout || !report.errors.empty())
        return 2;
    return report.faults.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        std::cerr << "house-check: " << error.what() << "\n";
        return 2;
    }
}
