// ByteArray, the program's one-dimensional array of bytes: contiguous zeroed
// elements from a lower bound on, or no array at all. Element access by index
// is checked and raises error 9 outside the bounds.
#pragma once

#include "platform/runtime_error.h"

#include <cstdint>
#include <memory>

namespace core {

class ByteArray {
public:
    // No array: every index is outside it.
    ByteArray() noexcept = default;
    // count zeroed elements, indexed from lowerBound on.
    ByteArray(std::int32_t lowerBound, std::uint32_t count)
        : data_(new std::uint8_t[count]()), lowerBound_(lowerBound), count_(count), exists_(true)
    {
    }

    // The first element's address, for a conversion library; null when there is no array.
    std::uint8_t* data() noexcept { return data_.get(); }
    const std::uint8_t* data() const noexcept { return data_.get(); }

    // Element `index`; raises error 9 when there is no array or index is outside its bounds.
    std::uint8_t& at(std::int32_t index) { return data_[offsetOf(index)]; }
    const std::uint8_t& at(std::int32_t index) const { return data_[offsetOf(index)]; }

private:
    std::uint32_t offsetOf(std::int32_t index) const
    {
        // One unsigned comparison covers both ends: an index below the lower
        // bound wraps to a value no smaller than any element count.
        const auto offset = static_cast<std::uint64_t>(std::int64_t{index} - lowerBound_);
        if (!exists_ || offset >= count_)
            platform::raiseSubscriptOutOfRange();
        return static_cast<std::uint32_t>(offset);
    }

    std::unique_ptr<std::uint8_t[]> data_;
    std::int32_t lowerBound_ = 0;
    std::uint32_t count_ = 0;
    bool exists_ = false;
};

} // namespace core
