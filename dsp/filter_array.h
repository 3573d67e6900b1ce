#pragma once

#include <cstdint>

namespace velquistdsp {

// The owned float array behind each of a filter's coefficient and history fields. Up to
// kInlineCapacity elements live inside the object itself, longer arrays on the heap.
//
// Fixed-order filters (at most kInlineCapacity coefficients each way) read their elements through
// inlineElements(): the address is a fixed offset from the filter, so the sample step loads no
// pointer. In a loop that keeps many units busy, those pointers were otherwise reloaded on every
// sample.
//
// Contracts: counts are at least 1. Not copyable or movable: the inline address is the object's.
class FilterArray {
public:
    static constexpr int32_t kInlineCapacity = 3;

    // count zeroed elements.
    explicit FilterArray(int32_t count) { reset(count); }
    ~FilterArray() { release(); }
    FilterArray(const FilterArray&) = delete;
    FilterArray& operator=(const FilterArray&) = delete;

    // Replaces the contents with count zeroed elements. If the allocation throws, the array is
    // left as it was.
    void reset(int32_t count) {
        if (count > kInlineCapacity) {
            float* const fresh = new float[static_cast<uint32_t>(count)]();
            release();
            elements = fresh;
        } else {
            release();
            for (float& element : inlineStorage) element = 0.0f;
        }
    }

    float& operator[](int32_t index) { return elements[index]; }
    const float& operator[](int32_t index) const { return elements[index]; }
    float* get() { return elements; }
    const float* get() const { return elements; }

    // The elements of an array of at most kInlineCapacity, reached without loading a pointer.
    float* inlineElements() { return inlineStorage; }
    const float* inlineElements() const { return inlineStorage; }

private:
    void release() {
        if (elements != inlineStorage) delete[] elements;
        elements = inlineStorage;
    }

    float* elements = inlineStorage;  // inlineStorage, or the heap block this array owns
    float inlineStorage[kInlineCapacity] = {};
};

}  // namespace velquistdsp
