// Fuzzes the in-program conversions over arbitrary arrays (lower bound,
// element count, no array at all), counts, texts and two code pages, against
// the model in oracle.h.
#include "conversions.h"
#include "oracle.h"
#include "test_support.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

namespace {

// A code page in which characters from U+3000 on take two bytes.
class DoubleByte final : public platform::CodePage {
public:
    char16_t charFromCode(std::uint8_t code) const override { return code; }
    std::int16_t codeOfChar(char16_t c) const override
    {
        return c >= 0x3000 ? static_cast<std::int16_t>(c - 0x10000) : static_cast<std::int16_t>(c & 0xFF);
    }
};

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    static const DoubleByte doubleByte;
    const platform::CodePage& cp = in.ConsumeBool() ? platform::ansiCodePage() : doubleByte;

    oracle::Array model{in.ConsumeIntegralInRange(0, 7) != 0,
                        in.PickValueInArray({INT32_MIN, -2, -1, 0, 0, 0, 1, 2, INT32_MAX}),
                        in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 80))};
    core::ByteArray mat;
    if (model.exists) {
        mat = core::ByteArray(model.lowerBound, static_cast<std::uint32_t>(model.elements.size()));
        for (std::size_t i = 0; i < model.elements.size(); ++i)
            mat.data()[i] = model.elements[i];
    }

    if (in.ConsumeBool()) {
        const std::int32_t lx = in.ConsumeBool()
            ? in.ConsumeIntegralInRange(-3, 90)
            : in.PickValueInArray({INT32_MIN, INT32_MIN + 1, -1, INT32_MAX});
        const oracle::Outcome expected = oracle::quendril(model, lx, cp);
        std::u16string text;
        check(testing_support::errorNumberOf([&] { text = core::Quendril(mat, lx, cp); }) == expected.error);
        check(text == expected.text);
    } else {
        std::u16string buf;
        while (in.remaining_bytes() >= 2 && buf.size() < 90)
            buf.push_back(in.ConsumeIntegral<char16_t>());
        const int expected = oracle::stringToArray(buf, model, cp);
        check(testing_support::errorNumberOf([&] { core::StringToArray(buf, mat, cp); }) == expected);
        for (std::size_t i = 0; model.exists && i < model.elements.size(); ++i)
            check(mat.data()[i] == model.elements[i]);
    }
    return 0;
}
