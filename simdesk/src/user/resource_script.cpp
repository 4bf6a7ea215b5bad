// A parser for the resource-script statements the agent's script uses:
// #define (from resource.h), STRINGTABLE, MENU, ACCELERATORS, DIALOGEX, ICON
// and other file resources. Anything else is reported, not guessed at.
#include "user/resource_script.h"

#include <cctype>
#include <cstdio>
#include <cwctype>
#include <optional>
#include <stdexcept>

#include "simdesk/win32_kernel.h"

namespace simdesk {
namespace {

enum class TokenKind { kWord, kNumber, kString, kPunct, kEnd };

struct Token {
    TokenKind kind;
    std::string text;
    long value = 0;
};

// Values of the SDK names a resource script may use beside its own #defines.
const std::map<std::string, long>& BuiltinNames() {
    static const std::map<std::string, long> names = {
        {"WS_POPUP", WS_POPUP},
        {"WS_CHILD", WS_CHILD},
        {"WS_VISIBLE", WS_VISIBLE},
        {"WS_DISABLED", WS_DISABLED},
        {"WS_CAPTION", WS_CAPTION},
        {"WS_BORDER", WS_BORDER},
        {"WS_SYSMENU", WS_SYSMENU},
        {"WS_THICKFRAME", WS_THICKFRAME},
        {"WS_GROUP", WS_GROUP},
        {"WS_TABSTOP", WS_TABSTOP},
        {"WS_MINIMIZEBOX", WS_MINIMIZEBOX},
        {"WS_MAXIMIZEBOX", WS_MAXIMIZEBOX},
        {"WS_OVERLAPPEDWINDOW", WS_OVERLAPPEDWINDOW},
        {"DS_FIXEDSYS", DS_FIXEDSYS},
        {"DS_SETFONT", DS_SETFONT},
        {"DS_MODALFRAME", DS_MODALFRAME},
        {"SS_ICON", SS_ICON},
        {"SS_NOPREFIX", SS_NOPREFIX},
        {"BS_PUSHBUTTON", BS_PUSHBUTTON},
        {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
        {"IDOK", IDOK},
        {"IDCANCEL", IDCANCEL},
        {"LANG_ENGLISH", 0x09},
        {"SUBLANG_ENGLISH_US", 0x01},
        {"RT_MANIFEST", 24},
    };
    return names;
}

constexpr long kSsLeft = 0x0;
constexpr long kSsCenter = 0x1;
constexpr long kSsRight = 0x2;

std::wstring Widen(const std::string& text) {
    if (text.empty())
        return {};
    int size =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

class Lexer {
  public:
    explicit Lexer(std::string_view text) : text_(text) {}

    // Preprocessor lines are handed to `directive` and produce no tokens.
    template <typename Directive>
    std::vector<Token> Tokenize(Directive directive) {
        std::vector<Token> tokens;
        bool lineStart = true;
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == '\n') {
                lineStart = true;
                ++pos_;
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                ++pos_;
            } else if (Starts("//")) {
                SkipLine();
            } else if (Starts("/*")) {
                size_t end = text_.find("*/", pos_ + 2);
                pos_ = end == std::string_view::npos ? text_.size() : end + 2;
            } else if (c == '#' && lineStart) {
                size_t end = text_.find('\n', pos_);
                directive(text_.substr(pos_, end == std::string_view::npos ? end : end - pos_));
                SkipLine();
            } else {
                lineStart = false;
                tokens.push_back(Next());
            }
        }
        tokens.push_back(Token{TokenKind::kEnd, "", 0});
        return tokens;
    }

  private:
    bool Starts(std::string_view prefix) const {
        return text_.substr(pos_, prefix.size()) == prefix;
    }
    void SkipLine() {
        size_t end = text_.find('\n', pos_);
        pos_ = end == std::string_view::npos ? text_.size() : end;
    }

    Token Next() {
        char c = text_[pos_];
        if (c == '"')
            return String();
        if (std::isdigit(static_cast<unsigned char>(c))) {
            size_t used = 0;
            std::string rest(text_.substr(pos_, 16));
            long value = std::stol(rest, &used, 0);
            pos_ += used;
            while (pos_ < text_.size() && (text_[pos_] == 'L' || text_[pos_] == 'l'))
                ++pos_;
            return Token{TokenKind::kNumber, rest.substr(0, used), value};
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t start = pos_;
            while (pos_ < text_.size() &&
                   (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_')) {
                ++pos_;
            }
            return Token{TokenKind::kWord, std::string(text_.substr(start, pos_ - start)), 0};
        }
        ++pos_;
        return Token{TokenKind::kPunct, std::string(1, c), 0};
    }

    // "" is a quote; the C escapes \n \t \\ \" are honoured.
    Token String() {
        std::string value;
        ++pos_;
        while (pos_ < text_.size()) {
            char c = text_[pos_++];
            if (c == '"') {
                if (pos_ < text_.size() && text_[pos_] == '"') {
                    value.push_back('"');
                    ++pos_;
                    continue;
                }
                return Token{TokenKind::kString, value, 0};
            }
            if (c == '\\' && pos_ < text_.size()) {
                char e = text_[pos_++];
                value.push_back(e == 'n' ? '\n' : e == 't' ? '\t' : e);
                continue;
            }
            value.push_back(c);
        }
        throw std::runtime_error("unterminated string");
    }

    std::string_view text_;
    size_t pos_ = 0;
};

class Parser {
  public:
    Parser(std::string_view script, std::string_view header) {
        auto directive = [this](std::string_view line) { Directive(line); };
        Lexer(header).Tokenize(directive);
        tokens_ = Lexer(script).Tokenize(directive);
    }

    void Parse(ResourceScript& out) {
        while (Peek().kind != TokenKind::kEnd)
            Statement(out);
    }

    std::string Where() const {
        return "near token " + std::to_string(pos_) + " '" + Peek().text + "'";
    }

  private:
    // #define NAME value; a name defined twice keeps its first value, as
    // #ifndef guards would have it. Other directives carry no resources.
    void Directive(std::string_view line) {
        constexpr std::string_view kDefine = "#define";
        if (line.substr(0, kDefine.size()) != kDefine)
            return;
        std::vector<Token> tokens = Lexer(line.substr(kDefine.size())).Tokenize([](auto) {});
        if (tokens.empty() || tokens[0].kind != TokenKind::kWord)
            return;
        std::vector<Token> value(tokens.begin() + 1, tokens.end());
        defines_.emplace(tokens[0].text, value);
    }

    const Token& Peek() const { return tokens_[pos_]; }
    Token Take() {
        const Token& token = tokens_[pos_];
        if (token.kind != TokenKind::kEnd)
            ++pos_;
        return token;
    }
    bool IsWord(const char* word) const {
        return Peek().kind == TokenKind::kWord && Peek().text == word;
    }
    bool TakePunct(char c) {
        if (Peek().kind == TokenKind::kPunct && Peek().text[0] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    void Expect(char c) {
        if (!TakePunct(c))
            throw std::runtime_error(std::string("expected '") + c + "'");
    }
    bool TakeBegin() {
        if (IsWord("BEGIN") || (Peek().kind == TokenKind::kPunct && Peek().text == "{")) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool TakeEnd() {
        if (IsWord("END") || (Peek().kind == TokenKind::kPunct && Peek().text == "}")) {
            ++pos_;
            return true;
        }
        return false;
    }
    std::string TakeString() {
        if (Peek().kind != TokenKind::kString)
            throw std::runtime_error("expected a string");
        return Take().text;
    }

    std::optional<long> ValueOfName(const std::string& name) {
        auto defined = defines_.find(name);
        if (defined != defines_.end()) {
            Parser inner(defined->second, defines_);
            return inner.Expression();
        }
        auto builtin = BuiltinNames().find(name);
        if (builtin != BuiltinNames().end())
            return builtin->second;
        return std::nullopt;
    }

    Parser(std::vector<Token> tokens, const std::map<std::string, std::vector<Token>>& defines)
        : tokens_(std::move(tokens)), defines_(defines) {
        tokens_.push_back(Token{TokenKind::kEnd, "", 0});
    }

    long Primary() {
        if (TakePunct('(')) {
            long value = Expression();
            Expect(')');
            return value;
        }
        if (TakePunct('-'))
            return -Primary();
        if (IsWord("NOT")) {
            Take();
            return ~Primary();
        }
        Token token = Take();
        if (token.kind == TokenKind::kNumber)
            return token.value;
        if (token.kind == TokenKind::kWord) {
            if (auto value = ValueOfName(token.text))
                return *value;
            throw std::runtime_error("unknown name " + token.text);
        }
        throw std::runtime_error("expected a value");
    }

    long Expression() {
        long value = Primary();
        for (;;) {
            if (TakePunct('|')) {
                value |= Primary();
            } else if (TakePunct('+')) {
                value += Primary();
            } else {
                return value;
            }
        }
    }

    // A resource name: a defined or literal number, or else a name of its own.
    std::wstring Name() {
        const Token& token = Peek();
        if (token.kind == TokenKind::kWord && !ValueOfName(token.text)) {
            return ResourceKey(Widen(Take().text).c_str());
        }
        return ResourceKey(static_cast<UINT>(Expression()));
    }

    void SkipOptionsToBegin() {
        while (!TakeBegin()) {
            if (Peek().kind == TokenKind::kEnd)
                throw std::runtime_error("expected BEGIN");
            Take();
        }
    }

    void Statement(ResourceScript& out) {
        if (IsWord("LANGUAGE")) {
            Take();
            Expression();
            Expect(',');
            Expression();
            return;
        }
        if (IsWord("STRINGTABLE")) {
            Take();
            StringTable(out);
            return;
        }
        std::wstring name = Name();
        if (Peek().kind == TokenKind::kNumber) {  // numbered type, e.g. 24: a file
            Take();
            TakeString();
            return;
        }
        std::string type = Take().text;
        if (type == "ICON") {
            TakeString();
            out.icons.insert(name);
        } else if (type == "MENU") {
            SkipOptionsToBegin();
            out.menus[name] = MenuItems();
        } else if (type == "ACCELERATORS") {
            SkipOptionsToBegin();
            out.accelerators[name] = Accelerators();
        } else if (type == "DIALOGEX" || type == "DIALOG") {
            out.dialogs[name] = Dialog();
        } else {
            throw std::runtime_error("unsupported resource type " + type);
        }
    }

    void StringTable(ResourceScript& out) {
        SkipOptionsToBegin();
        while (!TakeEnd()) {
            auto id = static_cast<UINT>(Expression());
            TakePunct(',');
            out.strings[id] = Widen(TakeString());
        }
    }

    std::vector<MenuEntry> MenuItems() {
        std::vector<MenuEntry> items;
        while (!TakeEnd()) {
            if (IsWord("POPUP")) {
                Take();
                MenuEntry popup{Widen(TakeString()), 0, {}};
                SkipOptionsToBegin();
                popup.items = MenuItems();
                items.push_back(std::move(popup));
            } else if (IsWord("MENUITEM")) {
                Take();
                if (IsWord("SEPARATOR")) {
                    Take();
                    items.push_back(MenuEntry{L"", 0, {}});
                    continue;
                }
                MenuEntry item{Widen(TakeString()), 0, {}};
                Expect(',');
                item.id = static_cast<int>(Expression());
                while (TakePunct(','))
                    Take();  // options such as GRAYED
                items.push_back(std::move(item));
            } else {
                throw std::runtime_error("expected POPUP or MENUITEM");
            }
        }
        return items;
    }

    std::vector<ACCEL> Accelerators() {
        std::vector<ACCEL> table;
        while (!TakeEnd()) {
            ACCEL accel{};
            if (Peek().kind == TokenKind::kString) {
                std::string key = TakeString();
                if (key.size() == 2 && key[0] == '^') {
                    accel.key = static_cast<WORD>(std::toupper(key[1]) & 0x1F);
                } else if (key.size() == 1) {
                    accel.key = static_cast<unsigned char>(key[0]);
                } else {
                    throw std::runtime_error("bad accelerator key \"" + key + "\"");
                }
            } else {
                accel.key = static_cast<WORD>(Expression());
            }
            Expect(',');
            accel.cmd = static_cast<WORD>(Expression());
            while (TakePunct(',')) {
                std::string flag = Take().text;
                if (flag == "VIRTKEY")
                    accel.fVirt |= FVIRTKEY;
                if (flag == "ALT")
                    accel.fVirt |= FALT;
                if (flag == "SHIFT")
                    accel.fVirt |= FSHIFT;
                if (flag == "CONTROL")
                    accel.fVirt |= FCONTROL;
                if (flag == "NOINVERT")
                    accel.fVirt |= FNOINVERT;
            }
            table.push_back(accel);
        }
        return table;
    }

    DialogTemplate Dialog() {
        DialogTemplate dialog;
        dialog.x = static_cast<int>(Expression());
        Expect(',');
        dialog.y = static_cast<int>(Expression());
        Expect(',');
        dialog.cx = static_cast<int>(Expression());
        Expect(',');
        dialog.cy = static_cast<int>(Expression());
        if (TakePunct(','))
            Expression();  // help id
        while (!TakeBegin()) {
            std::string statement = Take().text;
            if (statement == "STYLE") {
                dialog.style = static_cast<DWORD>(Expression());
            } else if (statement == "EXSTYLE") {
                Expression();
            } else if (statement == "CAPTION") {
                dialog.caption = Widen(TakeString());
            } else if (statement == "FONT") {
                dialog.fontSize = static_cast<int>(Expression());
                Expect(',');
                dialog.fontFace = Widen(TakeString());
                while (TakePunct(','))
                    Expression();
            } else {
                throw std::runtime_error("unsupported dialog statement " + statement);
            }
        }
        while (!TakeEnd())
            dialog.controls.push_back(Control());
        return dialog;
    }

    DialogControl Control() {
        std::string kind = Take().text;
        DialogControl control{};
        long style = WS_CHILD | WS_VISIBLE;
        if (kind == "LTEXT" || kind == "CTEXT" || kind == "RTEXT") {
            control.className = L"STATIC";
            style |= WS_GROUP | (kind == "LTEXT"   ? kSsLeft
                                 : kind == "CTEXT" ? kSsCenter
                                                   : kSsRight);
        } else if (kind == "PUSHBUTTON" || kind == "DEFPUSHBUTTON") {
            control.className = L"BUTTON";
            style |= WS_TABSTOP | (kind == "DEFPUSHBUTTON" ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        } else if (kind == "ICON") {
            control.className = L"STATIC";
            style |= SS_ICON;
        } else {
            throw std::runtime_error("unsupported control " + kind);
        }
        if (Peek().kind == TokenKind::kString) {
            control.text = Widen(TakeString());
        } else {
            control.text = ResourceKey(static_cast<UINT>(Expression()));
        }
        int* fields[] = {&control.id, &control.x, &control.y, &control.cx, &control.cy};
        for (int* field : fields) {
            Expect(',');
            *field = static_cast<int>(Expression());
        }
        if (TakePunct(','))
            style |= Expression();
        if (TakePunct(','))
            Expression();  // extended style
        control.style = static_cast<DWORD>(style);
        return control;
    }

    std::vector<Token> tokens_;
    size_t pos_ = 0;
    std::map<std::string, std::vector<Token>> defines_;
};

}  // namespace

std::wstring ResourceKey(UINT id) {
    return L"#" + std::to_wstring(id);
}

std::wstring ResourceKey(LPCWSTR name) {
    if (IS_INTRESOURCE(name))
        return ResourceKey(static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name)));
    std::wstring key(name);
    bool numbered = key.size() > 1 && key.size() <= 6 && key[0] == L'#' &&
                    key.find_first_not_of(L"0123456789", 1) == std::wstring::npos;
    if (numbered)
        return ResourceKey(static_cast<UINT>(std::stoul(key.substr(1))));
    for (wchar_t& c : key)
        c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return key;
}

ResourceScript ParseResourceScript(std::string_view script, std::string_view header) {
    ResourceScript result;
    try {
        Parser parser(script, header);
        try {
            parser.Parse(result);
        } catch (const std::exception& error) {
            result.error = std::string(error.what()) + " " + parser.Where();
        }
    } catch (const std::exception& error) {
        result.error = error.what();
    }
    return result;
}

const ResourceScript& AgentResources() {
    static const ResourceScript resources = [] {
        ResourceScript parsed =
            ParseResourceScript(AgentResourceScriptText(), AgentResourceHeaderText());
        if (!parsed.error.empty()) {
            std::fprintf(stderr, "simdesk: resources/agent.rc: %s\n", parsed.error.c_str());
        }
        return parsed;
    }();
    return resources;
}

}  // namespace simdesk
