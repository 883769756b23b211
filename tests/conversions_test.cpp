// The in-program conversions: counts, bounds, partial writes on error and a
// double-byte code page.
#include "core/conversions.h"

#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <climits>

using namespace core;
using platform::kOverflow;
using platform::kSubscriptOutOfRange;
using testing_support::DoubleByte;
using testing_support::errorNumberOf;

namespace {

ByteArray counting(std::int32_t lowerBound, std::uint32_t count)
{
    ByteArray a(lowerBound, count);
    for (std::uint32_t i = 0; i < count; ++i)
        a.data()[i] = static_cast<std::uint8_t>(i + 1);
    return a;
}

} // namespace

TEST(Quendril, ConvertsTheFirstLxElementsOneCharacterEach)
{
    ByteArray mat = counting(0, 5);
    mat.data()[1] = 0x80;
    EXPECT_EQ(Quendril(mat, 3), u"\u0001\u20AC\u0003");
    EXPECT_EQ(Quendril(mat, 5).size(), 5u);
}

TEST(Quendril, ZeroOrNegativeCountGivesAnEmptyText)
{
    ByteArray mat(0, 4);
    for (std::int32_t lx : {0, -1, INT32_MIN + 1})
        EXPECT_EQ(Quendril(mat, lx), u"") << lx;
    EXPECT_EQ(Quendril(ByteArray(), 0), u""); // no element is touched, so no array is fine
}

TEST(Quendril, MostNegativeCountOverflows)
{
    ByteArray mat(0, 4);
    EXPECT_EQ(errorNumberOf([&] { Quendril(mat, INT32_MIN); }), kOverflow);
}

TEST(Quendril, BoundsOfTheRunsBlock)
{
    ByteArray mat(0, 50001);
    EXPECT_EQ(Quendril(mat, 50000), std::u16string(50000, u'\0'));
    EXPECT_EQ(Quendril(mat, 50001).size(), 50001u);
    EXPECT_EQ(errorNumberOf([&] { Quendril(mat, 50002); }), kSubscriptOutOfRange);
}

TEST(Quendril, IndexOutsideTheArrayRaises9)
{
    EXPECT_EQ(errorNumberOf([] { Quendril(ByteArray(1, 3), 1); }), kSubscriptOutOfRange);
    EXPECT_EQ(errorNumberOf([] { Quendril(ByteArray(), 1); }), kSubscriptOutOfRange);
    EXPECT_EQ(errorNumberOf([] { Quendril(ByteArray(0, 0), 1); }), kSubscriptOutOfRange);
    // Index 0 lies inside an array that starts below it.
    EXPECT_EQ(Quendril(counting(-1, 3), 2), u"\u0002\u0003");
}

TEST(StringToArray, StoresOneByteFromIndexZeroAndLeavesTheRest)
{
    ByteArray mat(0, 50001);
    StringToArray(std::u16string(50000, u' '), mat);
    EXPECT_EQ(mat.data()[0], 32);
    EXPECT_EQ(mat.data()[49999], 32);
    EXPECT_EQ(mat.data()[50000], 0);

    ByteArray small = counting(0, 4);
    StringToArray(u"\u20ACa", small);
    EXPECT_EQ(small.data()[0], 0x80);
    EXPECT_EQ(small.data()[1], 'a');
    EXPECT_EQ(small.data()[2], 3);
    EXPECT_EQ(small.data()[3], 4);
}

TEST(StringToArray, EmptyTextWritesNothing)
{
    ByteArray mat = counting(0, 2);
    StringToArray(u"", mat);
    EXPECT_EQ(mat.data()[0], 1);
    ByteArray none; // not even an array is needed
    EXPECT_EQ(errorNumberOf([&] { StringToArray(u"", none); }), 0);
}

TEST(StringToArray, TextLongerThanTheArrayRaises9AfterFillingIt)
{
    ByteArray mat(0, 3);
    EXPECT_EQ(errorNumberOf([&] { StringToArray(u"abcd", mat); }), kSubscriptOutOfRange);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(mat.data()), 3), "abc");
}

TEST(StringToArray, ArrayNotStartingAtZeroRaises9AtTheFirstCharacter)
{
    ByteArray fromOne = counting(1, 3);
    EXPECT_EQ(errorNumberOf([&] { StringToArray(u"x", fromOne); }), kSubscriptOutOfRange);
    EXPECT_EQ(fromOne.data()[0], 1);
    ByteArray none;
    EXPECT_EQ(errorNumberOf([&] { StringToArray(u"x", none); }), kSubscriptOutOfRange);
}

TEST(StringToArray, DoubleByteCharacterRaises6KeepingEarlierBytes)
{
    ByteArray mat(0, 4);
    const DoubleByte cp;
    EXPECT_EQ(errorNumberOf([&] { StringToArray(u"ab\u3042c", mat, cp); }), kOverflow);
    EXPECT_EQ(mat.data()[0], 'a');
    EXPECT_EQ(mat.data()[1], 'b');
    EXPECT_EQ(mat.data()[2], 0);
    EXPECT_EQ(mat.data()[3], 0);
}

TEST(StringToArray, UnmappableCharacterIsStoredAsQuestionMark)
{
    ByteArray mat(0, 1);
    StringToArray(u"\u0100", mat);
    EXPECT_EQ(mat.data()[0], '?');
}
