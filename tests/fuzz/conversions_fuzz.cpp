// Fuzzes the in-program conversions over arbitrary arrays (lower bound,
// element count, no array at all), counts, texts and two code pages, checking
// what must hold whatever the input: the text's length and characters, which
// error is raised and when, the bytes a conversion writes and those it leaves
// alone, and that a text of characters the code page maps comes back from its
// bytes unchanged.
#include "core/conversions.h"
#include "tests/test_support.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdlib>
#include <vector>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

struct Array {
    bool exists;
    std::int32_t lowerBound;
    std::vector<std::uint8_t> elements;

    // Whether index names an element.
    bool holds(std::int64_t index) const
    {
        return exists && index >= lowerBound
            && index < std::int64_t{lowerBound} + static_cast<std::int64_t>(elements.size());
    }
};

// The elements of mat as the fuzzer made them.
std::vector<std::uint8_t> elementsOf(const core::ByteArray& mat, const Array& made)
{
    return made.exists ? std::vector<std::uint8_t>(mat.data(), mat.data() + made.elements.size())
                       : std::vector<std::uint8_t>();
}

void checkQuendril(const core::ByteArray& mat, const Array& made, std::int32_t lx, const platform::CodePage& cp)
{
    std::u16string text;
    const int error = testing_support::errorNumberOf([&] { text = core::Quendril(mat, lx, cp); });
    const std::int64_t wanted = lx < 0 ? 0 : lx;
    if (lx == INT32_MIN) {
        check(error == platform::kOverflow);
    } else if (wanted > 0 && !(made.holds(0) && made.holds(wanted - 1))) {
        check(error == platform::kSubscriptOutOfRange);
    } else {
        check(error == 0);
        check(static_cast<std::int64_t>(text.size()) == wanted);
        for (std::int64_t i = 0; i < wanted; ++i)
            check(text[static_cast<std::size_t>(i)] == cp.charFromCode(made.elements[i - made.lowerBound]));
    }
    check(elementsOf(mat, made) == made.elements);
}

void checkStringToArray(core::ByteArray& mat, const Array& made, const std::u16string& buf,
                        const platform::CodePage& cp)
{
    // Where the conversion must stop, and why: an index outside the array, or a character of two bytes.
    std::size_t stop = buf.size();
    int why = 0;
    for (std::size_t i = 0; i < buf.size() && !why; ++i) {
        const std::int16_t code = cp.codeOfChar(buf[i]);
        if (!made.holds(static_cast<std::int64_t>(i)))
            why = platform::kSubscriptOutOfRange;
        else if (code < 0 || code > 0xFF)
            why = platform::kOverflow;
        stop = why ? i : buf.size();
    }
    check(testing_support::errorNumberOf([&] { core::StringToArray(buf, mat, cp); }) == why);
    const std::vector<std::uint8_t> after = elementsOf(mat, made);
    for (std::size_t j = 0; j < after.size(); ++j) {
        const std::int64_t index = made.lowerBound + static_cast<std::int64_t>(j);
        const bool written = index >= 0 && index < static_cast<std::int64_t>(stop);
        check(after[j] == (written ? static_cast<std::uint8_t>(cp.codeOfChar(buf[index])) : made.elements[j]));
    }
    // Back again: every character the code page maps returns as it was.
    if (why || buf.empty())
        return;
    const std::u16string back = core::Quendril(mat, static_cast<std::int32_t>(buf.size()), cp);
    for (std::size_t i = 0; i < buf.size(); ++i)
        if (cp.charFromCode(static_cast<std::uint8_t>(cp.codeOfChar(buf[i]))) == buf[i])
            check(back[i] == buf[i]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    static const testing_support::DoubleByte doubleByte;
    const platform::CodePage& cp = in.ConsumeBool() ? platform::ansiCodePage() : doubleByte;

    Array made{in.ConsumeIntegralInRange(0, 7) != 0,
               in.PickValueInArray({INT32_MIN, -2, -1, 0, 0, 0, 1, 2, INT32_MAX}),
               in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 80))};
    if (!made.exists)
        made.elements.clear();
    core::ByteArray mat;
    if (made.exists) {
        mat = core::ByteArray(made.lowerBound, static_cast<std::uint32_t>(made.elements.size()));
        for (std::size_t i = 0; i < made.elements.size(); ++i)
            mat.data()[i] = made.elements[i];
    }

    if (in.ConsumeBool()) {
        const std::int32_t lx = in.ConsumeBool()
            ? in.ConsumeIntegralInRange(-3, 90)
            : in.PickValueInArray({INT32_MIN, INT32_MIN + 1, -1, INT32_MAX});
        checkQuendril(mat, made, lx, cp);
    } else {
        std::u16string buf;
        while (in.remaining_bytes() >= 2 && buf.size() < 90)
            buf.push_back(in.ConsumeIntegral<char16_t>());
        checkStringToArray(mat, made, buf, cp);
    }
    return 0;
}
