// Owning tables and pointer lists with a count and a capacity, the way the engine's libraries keep
// them. Record tables grow by a step of zeroed records (100 unless given). Pointer lists grow to
// count + 10 with the new slots null; a removal that asks for it shrinks the array to count + 10
// when the capacity exceeds count + 20.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

template <typename T>
void GrowTable(T*& table, uint32_t count, uint32_t& capacity, uint32_t step = 100) {
    if (count < capacity) return;
    T* grown = new T[capacity + step]();
    if (count != 0) std::memcpy(static_cast<void*>(grown), table, sizeof(T) * count);
    delete[] table;
    table = grown;
    capacity += step;
}

template <typename T>
void FreeTable(T*& table, uint32_t& count, uint32_t& capacity) {
    delete[] table;
    table = nullptr;
    count = capacity = 0;
}

// Owning pointer lists: capacity becomes count + 10, new slots null.
template <typename T>
void ResizeList(T**& list, uint32_t count, uint32_t& capacity) {
    const uint32_t wanted = count + 10;
    T** resized = new T*[wanted]();
    std::copy(list, list + std::min(count, wanted), resized);
    delete[] list;
    list = resized;
    capacity = wanted;
}

template <typename T>
void Append(T**& list, uint32_t& count, uint32_t& capacity, T* item) {
    if (count >= capacity) ResizeList(list, count, capacity);
    list[count++] = item;
}

// Closes the gap at index: the tail moves down one place and the freed last slot is cleared.
template <typename T>
void CloseGap(T** list, uint32_t& count, uint32_t index) {
    std::copy(list + index + 1, list + count, list + index);
    list[--count] = nullptr;
}

template <typename T>
void ShrinkIfAsked(T**& list, uint32_t count, uint32_t& capacity, bool shrink) {
    if (shrink && capacity > count + 20) ResizeList(list, count, capacity);
}

template <typename T>
void FreeList(T**& list, uint32_t& count, uint32_t& capacity) {
    delete[] list;
    list = nullptr;
    count = capacity = 0;
}

template <typename T>
int32_t IndexIn(T* const* list, uint32_t count, const T* item) {
    for (int32_t i = static_cast<int32_t>(count) - 1; i >= 0; --i)
        if (list[i] == item) return i;
    return -1;
}
