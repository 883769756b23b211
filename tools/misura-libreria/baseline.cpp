// An earlier JSON export read back as a baseline, through a small JSON reader
// that keeps what the baseline needs: objects, arrays, strings, numbers, null.
#include "tools/misura-libreria/exports.h"

#include <charconv>
#include <map>
#include <memory>
#include <variant>

namespace misura {

namespace {

struct Value;
using Object = std::map<std::string, Value>;
using Array = std::vector<Value>;

struct Value {
    std::variant<std::nullptr_t, bool, double, std::string, std::shared_ptr<Array>, std::shared_ptr<Object>> v;
};

class Reader {
public:
    explicit Reader(const std::string& text) : text_(text) {}

    Value document()
    {
        Value v = value(0);
        skipSpace();
        if (at_ != text_.size())
            fail("text after the end");
        return v;
    }

private:
    const std::string& text_;
    std::size_t at_ = 0;

    [[noreturn]] void fail(const std::string& what) const
    {
        throw BaselineError("not a JSON export (" + what + " at character " + std::to_string(at_) + ")");
    }

    void skipSpace()
    {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t'))
            ++at_;
    }

    bool take(char c)
    {
        skipSpace();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }

    bool word(const char* w)
    {
        const std::string_view s(w);
        if (text_.compare(at_, s.size(), s) != 0)
            return false;
        at_ += s.size();
        return true;
    }

    Value value(int depth)
    {
        if (depth > 16)
            fail("nesting too deep");
        skipSpace();
        if (take('{'))
            return {object(depth)};
        if (take('['))
            return {array(depth)};
        if (at_ < text_.size() && text_[at_] == '"')
            return {string()};
        if (word("null"))
            return {nullptr};
        if (word("true") || word("false"))
            return {text_[at_ - 1] == 'e' && text_[at_ - 2] == 'u'};
        return {numberValue()};
    }

    std::shared_ptr<Object> object(int depth)
    {
        auto o = std::make_shared<Object>();
        if (take('}'))
            return o;
        do {
            skipSpace();
            const std::string key = string();
            if (!take(':'))
                fail("':' expected");
            (*o)[key] = value(depth + 1);
        } while (take(','));
        if (!take('}'))
            fail("'}' expected");
        return o;
    }

    std::shared_ptr<Array> array(int depth)
    {
        auto a = std::make_shared<Array>();
        if (take(']'))
            return a;
        do
            a->push_back(value(depth + 1));
        while (take(','));
        if (!take(']'))
            fail("']' expected");
        return a;
    }

    // A string; escapes other than \" and \\ are kept as written, which the baseline never needs to read.
    std::string string()
    {
        if (at_ >= text_.size() || text_[at_] != '"')
            fail("string expected");
        std::string s;
        for (++at_; at_ < text_.size() && text_[at_] != '"'; ++at_) {
            if (text_[at_] == '\\' && at_ + 1 < text_.size() && (text_[at_ + 1] == '"' || text_[at_ + 1] == '\\'))
                ++at_;
            s += text_[at_];
        }
        if (at_++ >= text_.size())
            fail("unterminated string");
        return s;
    }

    double numberValue()
    {
        double d = 0;
        const auto [ptr, ec] = std::from_chars(text_.data() + at_, text_.data() + text_.size(), d);
        if (ec != std::errc())
            fail("value expected");
        at_ = static_cast<std::size_t>(ptr - text_.data());
        return d;
    }
};

template <typename T> const T& need(const Object& o, const std::string& key)
{
    const auto found = o.find(key);
    if (found == o.end() || !std::holds_alternative<T>(found->second.v))
        throw BaselineError("a result without a valid '" + key + "'");
    return std::get<T>(found->second.v);
}

// The times of a result or its call: "times_s", or "times" in an export from before the unit was named.
const Array& timesOf(const Object& o)
{
    return *need<std::shared_ptr<Array>>(o, o.contains("times_s") || !o.contains("times") ? "times_s" : "times");
}

std::vector<double> numbersOf(const Array& a)
{
    std::vector<double> out;
    for (const Value& v : a) {
        if (!std::holds_alternative<double>(v.v) || std::get<double>(v.v) < 0)
            throw BaselineError("a time that is not a number");
        out.push_back(std::get<double>(v.v));
    }
    if (out.empty())
        throw BaselineError("a result without times");
    return out;
}

Case caseOf(const Object& o)
{
    const std::string& conversion = need<std::string>(o, "conversion");
    const std::string& method = need<std::string>(o, "method");
    if ((conversion != "bytes-to-text" && conversion != "text-to-bytes") || (method != "library" && method != "in-program"))
        throw BaselineError("a result of an unknown conversion or method");
    Case c{};
    c.conversion = conversion == "bytes-to-text" ? Conversion::BytesToText : Conversion::TextToBytes;
    c.method = method == "library" ? core::Method::Library : core::Method::InProgram;
    c.bytes = static_cast<std::int32_t>(need<double>(o, "bytes"));
    c.times = numbersOf(timesOf(o));
    c.summary = summarize(c.times);
    if (const auto library = o.find("library"); library != o.end() && std::holds_alternative<std::string>(library->second.v))
        c.library = std::get<std::string>(library->second.v);
    if (const auto call = o.find("call"); call != o.end() && std::holds_alternative<std::shared_ptr<Object>>(call->second.v)) {
        c.calls = numbersOf(timesOf(*std::get<std::shared_ptr<Object>>(call->second.v)));
        c.call = summarize(c.calls);
    }
    return c;
}

} // namespace

std::vector<Case> readBaseline(const std::string& json)
{
    const Value document = Reader(json).document();
    if (!std::holds_alternative<std::shared_ptr<Object>>(document.v))
        throw BaselineError("not a JSON export (no object)");
    const Array& results = *need<std::shared_ptr<Array>>(*std::get<std::shared_ptr<Object>>(document.v), "results");
    std::vector<Case> cases;
    std::string firstLibrary;
    for (const Value& r : results) {
        if (!std::holds_alternative<std::shared_ptr<Object>>(r.v))
            throw BaselineError("a result that is not an object");
        Case c = caseOf(*std::get<std::shared_ptr<Object>>(r.v));
        if (c.method == core::Method::Library && firstLibrary.empty())
            firstLibrary = c.library;
        if (c.method == core::Method::InProgram || c.library == firstLibrary)
            cases.push_back(std::move(c));
    }
    return cases;
}

} // namespace misura
