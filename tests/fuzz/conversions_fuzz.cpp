// Fuzzes the in-program conversions over arbitrary arrays (lower bound,
// element count, no array at all), counts, texts and two code pages, against
// the model in oracle.h.
#include "core/conversions.h"
#include "tests/fuzz/oracle.h"
#include "tests/test_support.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    static const testing_support::DoubleByte doubleByte;
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
