#pragma once

#include "params/FixedText.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a number button asks of a list: add numbers, delete the ticked
// rows, or empty it.
enum class NumberListEdit { Add, Delete, Reset };

// One of the terminal's three telephone-number lists (administrator,
// authorised, backup): 255 slots of at most 32 characters each. An empty
// slot holds the empty text. Slots are used in index order, and a new
// number goes into the lowest empty slot so gaps left by deletions are
// refilled first.
class NumberList {
public:
    static constexpr std::size_t kSlotCount = 255;
    static constexpr std::size_t kMaxNumberLength = 32;
    using Slot = FixedText<kMaxNumberLength + 1>;

    // Empties every slot.
    void Clear();

    // Slot access; index must be below kSlotCount. A slot is written only
    // through Slot::Assign, which refuses numbers longer than 32 characters.
    Slot& operator[](std::size_t index) { return m_slots[index]; }
    const Slot& operator[](std::size_t index) const { return m_slots[index]; }
    auto begin() { return m_slots.begin(); }
    auto end() { return m_slots.end(); }
    auto begin() const { return m_slots.begin(); }
    auto end() const { return m_slots.end(); }
    static constexpr std::size_t size() { return kSlotCount; }

    std::optional<std::size_t> LowestEmptySlot() const;

    // Puts a non-empty number into the lowest empty slot and returns that
    // slot; nothing when the number is empty, does not fit a slot, or the
    // list is full.
    std::optional<std::size_t> Insert(std::string_view number);

    // Empties every slot holding exactly this number; returns how many.
    std::size_t RemoveAll(std::string_view number);

    bool Contains(std::string_view number) const;

    // The non-empty numbers in slot order.
    std::vector<std::string> NonEmptyNumbers() const;

    // The non-empty numbers in slot order joined by "," (no final comma):
    // the list as the terminal's whole-list command takes it.
    std::string JoinedWithCommas() const;

private:
    std::array<Slot, kSlotCount> m_slots{};
};
