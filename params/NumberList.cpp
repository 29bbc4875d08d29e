#include "params/NumberList.h"

void NumberList::Clear()
{
    for (Slot& slot : m_slots)
        slot.Clear();
}

std::optional<std::size_t> NumberList::LowestEmptySlot() const
{
    for (std::size_t index = 0; index < kSlotCount; ++index) {
        if (m_slots[index].IsEmpty())
            return index;
    }
    return std::nullopt;
}

std::optional<std::size_t> NumberList::Insert(std::string_view number)
{
    if (number.empty() || !Slot::Fits(number))
        return std::nullopt;
    const std::optional<std::size_t> slot = LowestEmptySlot();
    if (slot)
        m_slots[*slot].Assign(number);
    return slot;
}

std::size_t NumberList::RemoveAll(std::string_view number)
{
    std::size_t removed = 0;
    for (Slot& slot : m_slots) {
        if (!slot.IsEmpty() && slot == number) {
            slot.Clear();
            ++removed;
        }
    }
    return removed;
}

bool NumberList::Contains(std::string_view number) const
{
    for (const Slot& slot : m_slots) {
        if (!slot.IsEmpty() && slot == number)
            return true;
    }
    return false;
}

std::vector<std::string> NumberList::NonEmptyNumbers() const
{
    std::vector<std::string> numbers;
    for (const Slot& slot : m_slots) {
        if (!slot.IsEmpty())
            numbers.push_back(slot.ToString());
    }
    return numbers;
}

std::string NumberList::JoinedWithCommas() const
{
    std::string joined;
    for (const Slot& slot : m_slots) {
        if (slot.IsEmpty())
            continue;
        if (!joined.empty())
            joined += ',';
        joined += slot.View();
    }
    return joined;
}
