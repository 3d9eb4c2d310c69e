#include <gtest/gtest.h>

#include <vector>

#include "rtl/exception.h"
#include "tests/test_files.h"
#include "velm_types/tv_list.h"

namespace {

int a, b, c;
void* const A = &a;
void* const B = &b;
void* const C = &c;

std::vector<void*> Entries(const TVList& list) {
  return std::vector<void*>(list.Items().begin(), list.Items().begin() + list.Count);
}

// Every slot at Count or beyond holds nil.
bool TailIsNil(const TVList& list) {
  for (std::size_t i = static_cast<std::size_t>(list.Count); i < list.Items().size(); ++i)
    if (list.Items()[i]) return false;
  return true;
}

TVList* Abc() {
  auto* list = new TVList;
  list->Add(A);
  list->Add(B);
  list->Add(C);
  return list;
}

std::u16string RangeMessage(const TVList& list, std::int32_t index) {
  return testing_files::MessageOf<ERangeError>([&] { list.Get(index); });
}

}  // namespace

TEST(List, NewListAndRangeErrorCarriesBothNumbers) {
  TVList list;
  EXPECT_EQ(list.Count, 0);
  EXPECT_EQ(list.Items().size(), 30u);
  EXPECT_EQ(RangeMessage(list, 0), u"配列の要素数(=0)を超えた指定(=0)があります。");
  std::unique_ptr<TVList> abc(Abc());
  EXPECT_EQ(RangeMessage(*abc, 5), u"配列の要素数(=3)を超えた指定(=5)があります。");
  EXPECT_EQ(RangeMessage(*abc, -1), u"配列の要素数(=3)を超えた指定(=-1)があります。");
}

TEST(List, GrowthKeepsTwentySpareSlots) {
  TVList list;
  std::vector<std::size_t> lengths;
  for (int i = 0; i < 73; ++i) {
    EXPECT_EQ(list.Add(nullptr), i);
    if (i == 29 || i == 30 || i == 51 || i == 72) lengths.push_back(list.Items().size());
  }
  EXPECT_EQ(lengths, (std::vector<std::size_t>{30, 51, 72, 93}));
}

TEST(List, PutBeyondTheEndExtendsWithNil) {
  TVList list;
  list.Put(5, A);
  EXPECT_EQ(list.Count, 6);
  EXPECT_EQ(Entries(list), (std::vector<void*>{nullptr, nullptr, nullptr, nullptr, nullptr, A}));
  list.Clear();
  EXPECT_TRUE(TailIsNil(list));
  list.Put(3, B);
  EXPECT_EQ(Entries(list), (std::vector<void*>{nullptr, nullptr, nullptr, B}));
}

TEST(List, InsertMakesAnExactStorage) {
  std::unique_ptr<TVList> list(Abc());
  list->Insert(0, C);
  EXPECT_EQ(Entries(*list), (std::vector<void*>{C, A, B, C}));
  EXPECT_EQ(list->Items().size(), 4u);
  list->Insert(4, A);  // at Count: appends
  EXPECT_EQ(Entries(*list), (std::vector<void*>{C, A, B, C, A}));
  list->Insert(8, B);  // past Count: nil entries before it
  EXPECT_EQ(Entries(*list), (std::vector<void*>{C, A, B, C, A, nullptr, nullptr, nullptr, B}));
  EXPECT_EQ(list->Items().size(), 9u);
  list->Add(C);  // the next append grows again, to needed + 20
  EXPECT_EQ(list->Items().size(), 30u);
}

TEST(List, DeleteShiftsDownAndIgnoresIndicesPastTheEnd) {
  std::unique_ptr<TVList> list(Abc());
  list->Delete(3);
  list->Delete(100);
  EXPECT_EQ(list->Count, 3);
  list->Delete(0);
  EXPECT_EQ(Entries(*list), (std::vector<void*>{B, C}));
  list->Delete(1);
  EXPECT_EQ(Entries(*list), (std::vector<void*>{B}));
  list->Delete(0);
  EXPECT_EQ(list->Count, 0);
  EXPECT_TRUE(TailIsNil(*list));
  EXPECT_EQ(list->Items().size(), 30u);
}

TEST(List, ExchangeValidatesBothIndicesFirst) {
  std::unique_ptr<TVList> list(Abc());
  list->Exchange(0, 2);
  EXPECT_EQ(Entries(*list), (std::vector<void*>{C, B, A}));
  list->Exchange(1, 1);
  EXPECT_EQ(Entries(*list), (std::vector<void*>{C, B, A}));
  EXPECT_THROW(list->Exchange(0, 3), ERangeError);
  EXPECT_THROW(list->Exchange(-1, 0), ERangeError);
  EXPECT_EQ(Entries(*list), (std::vector<void*>{C, B, A}));
}

TEST(List, MoveRemovesThenInserts) {
  std::unique_ptr<TVList> list(Abc());
  list->Move(2, 0);
  EXPECT_EQ(Entries(*list), (std::vector<void*>{C, A, B}));
  std::unique_ptr<TVList> other(Abc());
  other->Move(0, 5);
  EXPECT_EQ(Entries(*other), (std::vector<void*>{B, C, nullptr, nullptr, nullptr, A}));
  EXPECT_THROW(other->Move(6, 0), ERangeError);
}

TEST(List, NegativeTargetsRaiseAndTouchNothing) {
  std::unique_ptr<TVList> list(Abc());
  EXPECT_THROW(list->Put(-1, A), ERangeError);
  EXPECT_THROW(list->Insert(-2, A), ERangeError);
  EXPECT_THROW(list->Delete(-1), ERangeError);
  EXPECT_THROW(list->Move(0, -1), ERangeError);
  EXPECT_EQ(Entries(*list), (std::vector<void*>{A, B, C}));
  EXPECT_THROW(list->Put(0x7FFFFFFF, A), std::bad_alloc);  // its slot count cannot exist
  EXPECT_EQ(list->Count, 3);
}

// The items stay their owner's: under AddressSanitizer a list that freed
// them would make the read a use after free and the delete a double free.
TEST(List, DestroyingLeavesTheItemsToTheirOwner) {
  int* value = new int(42);
  {
    TVList list;
    list.Add(value);
  }
  EXPECT_EQ(*value, 42);
  delete value;
}
