#include "velm_types/tv_list.h"

#include <limits>
#include <new>

#include "rtl/exception.h"
#include "rtl/text.h"

namespace {

constexpr std::int32_t kSpare = 20;
constexpr std::int32_t kMaxIndex = std::numeric_limits<std::int32_t>::max() - kSpare - 1;

[[noreturn]] void RangeError(std::int32_t count, std::int32_t index) {
  throw ERangeError(rtl::Format(u"配列の要素数(=%d)を超えた指定(=%d)があります。", count, index));
}

// Negative indices and those whose slot count would not fit are refused
// before anything changes.
void CheckTarget(std::int32_t count, std::int32_t index) {
  if (index < 0) RangeError(count, index);
  if (index > kMaxIndex) throw std::bad_alloc();
}

}  // namespace

TVList::TVList() { Grow(10); }

TVList::~TVList() { Clear(); }

void TVList::Clear() {
  for (std::int32_t i = 0; i < Count; ++i) items_[static_cast<std::size_t>(i)] = nullptr;
  Count = 0;
}

void TVList::Delete(std::int32_t index) {
  if (index < 0) RangeError(Count, index);
  if (index >= Count) return;
  for (std::int32_t i = index + 1; i < Count; ++i)
    items_[static_cast<std::size_t>(i - 1)] = items_[static_cast<std::size_t>(i)];
  items_[static_cast<std::size_t>(Count - 1)] = nullptr;
  --Count;
}

void TVList::Exchange(std::int32_t index1, std::int32_t index2) {
  void* first = Get(index1);
  void* second = Get(index2);
  Put(index1, second);
  Put(index2, first);
}

void TVList::Move(std::int32_t curIndex, std::int32_t newIndex) {
  void* item = Get(curIndex);
  CheckTarget(Count, newIndex);
  Delete(curIndex);
  Insert(newIndex, item);
}

void* TVList::Get(std::int32_t index) const {
  if (index < 0 || index >= Count) RangeError(Count, index);
  return items_[static_cast<std::size_t>(index)];
}

void TVList::Put(std::int32_t index, void* item) {
  CheckTarget(Count, index);
  if (index >= Count) {
    Grow(index + 1);
    Count = index + 1;
  }
  items_[static_cast<std::size_t>(index)] = item;
}

std::int32_t TVList::Add(void* item) {
  std::int32_t index = Count;
  Put(index, item);
  return index;
}

void TVList::Insert(std::int32_t index, void* item) {
  CheckTarget(Count, index);
  const std::int32_t newCount = index < Count ? Count + 1 : index + 1;
  TPtrArray fresh(static_cast<std::size_t>(newCount), nullptr);
  const std::size_t oldLength = items_.size();
  for (std::int32_t i = 0; i < index && static_cast<std::size_t>(i) < oldLength; ++i)
    fresh[static_cast<std::size_t>(i)] = items_[static_cast<std::size_t>(i)];
  fresh[static_cast<std::size_t>(index)] = item;
  for (std::int32_t i = index; i <= newCount - 2 && static_cast<std::size_t>(i) < oldLength; ++i)
    fresh[static_cast<std::size_t>(i) + 1] = items_[static_cast<std::size_t>(i)];
  items_.swap(fresh);
  Count = newCount;
}

void TVList::Grow(std::int32_t newCount) {
  if (newCount > kMaxIndex + 1) throw std::bad_alloc();
  if (static_cast<std::size_t>(newCount) > items_.size())
    items_.resize(static_cast<std::size_t>(newCount) + kSpare, nullptr);
}
