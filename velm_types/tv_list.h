// TVList: an ordered, growable list of untyped pointers with 0-based indices.
// It never owns what the pointers point to.
#pragma once

#include "velm_types/ptr_array.h"
#include "velm_types/tv_list_base.h"

class TVList : public TVListBase {
 public:
  TVList();
  ~TVList() override;

  void Clear() override;
  // Ignores an index at or beyond Count.
  void Delete(std::int32_t index) override;
  void Exchange(std::int32_t index1, std::int32_t index2);
  void Move(std::int32_t curIndex, std::int32_t newIndex);

  // Get raises ERangeError outside 0..Count-1; Put, Add and Insert extend
  // the list for an index at or past Count.
  void* Get(std::int32_t index) const;
  void Put(std::int32_t index, void* item);
  std::int32_t Add(void* item);
  void Insert(std::int32_t index, void* item);
  // Makes the storage at least newCount slots long, with 20 to spare.
  void Grow(std::int32_t newCount);

  const TPtrArray& Items() const { return items_; }

 private:
  TPtrArray items_;
};
