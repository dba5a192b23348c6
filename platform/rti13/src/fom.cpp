// FED file reader and FOM lookups. The text may come from another process
// (the hub parses what a client sent), so nesting depth is bounded and every
// fault is an ErrorReadingFED, never a crash.
#include "fom.h"

#include <algorithm>
#include <cctype>

namespace hcyrti {

namespace {

constexpr Handle kNone = ~Handle{0};
constexpr std::size_t kNoParent = static_cast<std::size_t>(-1);
constexpr int kMaxDepth = 64;  // lists within lists; real FED files need about 12

struct Node {
    bool isList = false;
    std::string atom;
    std::vector<Node> items;
    int line = 0;
};

bool SameWord(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

class Tokens {
public:
    explicit Tokens(const std::string& text) : text_(text) {}

    [[noreturn]] void Fail(int line, const std::string& what) const {
        throw Failure(Error::ErrorReadingFED, "FED line " + std::to_string(line) + ": " + what);
    }

    // Reads one atom or list; false at the end of the text.
    bool Read(Node& out, int depth) {
        SkipBlanks();
        if (pos_ >= text_.size()) return false;
        out.line = line_;
        const char c = text_[pos_];
        if (c == ')') Fail(line_, "unexpected ')'");
        if (c == '(') {
            if (depth >= kMaxDepth) Fail(line_, "lists nested too deeply");
            ++pos_;
            out.isList = true;
            for (;;) {
                SkipBlanks();
                if (pos_ >= text_.size()) Fail(out.line, "'(' is never closed");
                if (text_[pos_] == ')') {
                    ++pos_;
                    return true;
                }
                Node child;
                Read(child, depth + 1);
                out.items.push_back(std::move(child));
            }
        }
        if (c == '"') {
            const std::size_t end = text_.find('"', pos_ + 1);
            if (end == std::string::npos) Fail(line_, "quoted name is never closed");
            out.atom = text_.substr(pos_ + 1, end - pos_ - 1);
            if (out.atom.find('\n') != std::string::npos)
                Fail(line_, "line break in a quoted name");
            pos_ = end + 1;
            return true;
        }
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[pos_])) &&
               text_[pos_] != '(' && text_[pos_] != ')' && text_[pos_] != ';' && text_[pos_] != '"')
            ++pos_;
        out.atom = text_.substr(start, pos_ - start);
        return true;
    }

private:
    void SkipBlanks() {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '\n') ++line_;
            if (c == ';') {
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
            } else if (std::isspace(static_cast<unsigned char>(c)) || c == '\0') {
                ++pos_;
            } else {
                return;
            }
        }
    }

    const std::string& text_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

}  // namespace

class FedReader {
public:
    explicit FedReader(const std::string& text) : tokens_(text) {}

    std::shared_ptr<const Fom> Read() {
        Node root;
        if (!tokens_.Read(root, 0)) tokens_.Fail(1, "empty file");
        Node extra;
        if (tokens_.Read(extra, 0)) tokens_.Fail(extra.line, "text after the FED list");
        if (!root.isList || root.items.empty() || root.items[0].isList ||
            !SameWord(root.items[0].atom, "FED"))
            tokens_.Fail(root.line, "the file does not start with (FED");
        auto fom = std::make_shared<Fom>();
        bool objects = false, interactions = false;
        for (std::size_t i = 1; i < root.items.size(); ++i) {
            const Node& section = root.items[i];
            const std::string& key = Keyword(section);
            if (SameWord(key, "Federation") || SameWord(key, "FEDversion")) {
                if (section.items.size() != 2 || section.items[1].isList)
                    tokens_.Fail(section.line, "(" + key + ") takes one name");
            } else if (SameWord(key, "spaces")) {
                // Routing spaces: read and not used (no data distribution).
            } else if (SameWord(key, "objects") && !objects) {
                objects = true;
                for (std::size_t k = 1; k < section.items.size(); ++k)
                    ReadClass(section.items[k], fom->objects_, kNoParent, "", false);
            } else if (SameWord(key, "interactions") && !interactions) {
                interactions = true;
                for (std::size_t k = 1; k < section.items.size(); ++k)
                    ReadClass(section.items[k], fom->interactions_, kNoParent, "", true);
            } else {
                tokens_.Fail(section.line, "unknown or repeated section '" + key + "'");
            }
        }
        return fom;
    }

private:
    const std::string& Keyword(const Node& n) {
        if (!n.isList || n.items.empty() || n.items[0].isList)
            tokens_.Fail(n.line, "a keyword list was expected");
        return n.items[0].atom;
    }

    std::string Name(const Node& list, std::size_t index) {
        if (list.items.size() <= index || list.items[index].isList)
            tokens_.Fail(list.line, "a name was expected");
        const std::string& name = list.items[index].atom;
        if (name.empty() || name.find('.') != std::string::npos)
            tokens_.Fail(list.line, "invalid name '" + name + "'");
        return name;
    }

    void ReadClass(const Node& n, Fom::Tree& tree, std::size_t parent, const std::string& path,
                   bool interaction) {
        if (!SameWord(Keyword(n), "class")) tokens_.Fail(n.line, "(class ...) was expected");
        const std::string name = Name(n, 1);
        const std::string qualified = path.empty() ? name : path + "." + name;
        if (tree.byName.count(qualified))
            tokens_.Fail(n.line, "class " + qualified + " declared twice");
        tree.classes.push_back({name, parent, {}});
        const std::size_t self = tree.classes.size() - 1;
        const Handle handle = static_cast<Handle>(self + 1);
        tree.byName[qualified] = handle;
        if (parent != kNoParent) tree.byName[qualified.substr(qualified.find('.') + 1)] = handle;

        std::size_t i = 2;
        // An interaction class names its transport, order and space.
        for (std::size_t atoms = 0; i < n.items.size() && !n.items[i].isList; ++i, ++atoms)
            if (!interaction || atoms == 3)
                tokens_.Fail(n.line, "unexpected word in class " + name);
        const char* itemWord = interaction ? "parameter" : "attribute";
        for (; i < n.items.size(); ++i) {
            const Node& child = n.items[i];
            const std::string& key = Keyword(child);
            if (SameWord(key, "class")) {
                ReadClass(child, tree, self, qualified, interaction);
            } else if (SameWord(key, itemWord)) {
                const std::string item = Name(child, 1);
                if (child.items.size() > 5) tokens_.Fail(child.line, "too many words");
                for (const Node& word : child.items)
                    if (word.isList) tokens_.Fail(child.line, "unexpected list");
                if (tree.FindItem(item, handle) != kNone)
                    tokens_.Fail(child.line,
                                 std::string(itemWord) + " " + item + " declared twice");
                tree.classes[self].declared[item] = static_cast<Handle>(tree.items.size());
                tree.items.push_back({item, self});
            } else {
                tokens_.Fail(child.line, "unexpected '" + key + "' in class " + name);
            }
        }
    }

    Tokens tokens_;
};

std::shared_ptr<const Fom> Fom::Parse(const std::string& text) { return FedReader(text).Read(); }

bool Fom::Tree::IsA(Handle c, Handle ancestor) const {
    if (!Has(c) || !Has(ancestor)) return false;
    for (std::size_t i = c - 1; i != kNoParent; i = classes[i].parent)
        if (i == ancestor - 1) return true;
    return false;
}

bool Fom::Tree::HasItem(Handle c, Handle item) const {
    return item < items.size() && IsA(c, static_cast<Handle>(items[item].owner + 1));
}

std::vector<Handle> Fom::Tree::Line(Handle c) const {
    std::vector<Handle> line;
    if (!Has(c)) return line;
    for (std::size_t i = c - 1; i != kNoParent; i = classes[i].parent)
        line.push_back(static_cast<Handle>(i + 1));
    return line;
}

Handle Fom::Tree::FindItem(const std::string& name, Handle c) const {
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].name == name && HasItem(c, static_cast<Handle>(i)))
            return static_cast<Handle>(i);
    return kNone;
}

namespace {

Handle FindClass(const Fom::Tree& tree, const std::string& name, const char* kind) {
    auto it = tree.byName.find(name);
    if (it == tree.byName.end())
        throw Failure(Error::NameNotFound, std::string("no ") + kind + " class named " + name);
    return it->second;
}

Handle FindItemOf(const Fom::Tree& tree, const std::string& name, Handle c, Error notDefined,
                  const char* kind) {
    if (!tree.Has(c))
        throw Failure(notDefined, "class handle " + std::to_string(c) + " is not defined");
    const Handle h = tree.FindItem(name, c);
    if (h == kNone)
        throw Failure(Error::NameNotFound, std::string("no ") + kind + " named " + name +
                                               " in class " + tree.classes[c - 1].name);
    return h;
}

}  // namespace

Handle Fom::ObjectClass(const std::string& name) const {
    return FindClass(objects_, name, "object");
}

Handle Fom::InteractionClass(const std::string& name) const {
    return FindClass(interactions_, name, "interaction");
}

Handle Fom::Attribute(const std::string& name, Handle c) const {
    return FindItemOf(objects_, name, c, Error::ObjectClassNotDefined, "attribute");
}

Handle Fom::Parameter(const std::string& name, Handle c) const {
    return FindItemOf(interactions_, name, c, Error::InteractionClassNotDefined, "parameter");
}

bool Fom::HasAttribute(Handle c, Handle a) const { return objects_.HasItem(c, a); }

bool Fom::HasParameter(Handle c, Handle p) const { return interactions_.HasItem(c, p); }

}  // namespace hcyrti
