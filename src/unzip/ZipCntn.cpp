#include "unzip/ZipCntn.h"

#include <cstdio>

#include "unzip/ZipExceptions.h"
#include "unzip/ZipObj.h"

TObjectList::~TObjectList() {
  Clear();
}

void TObjectList::IndexError(int index) const {
  char text[64];
  std::snprintf(text, sizeof text, "Index %d is out of range", index);
  throw EListError(text);
}

void TObjectList::Grow() {
  FCapacity += FCapacity < 5 ? 4 : FCapacity < 9 ? 8 : 16;
  FItems.reserve(static_cast<size_t>(FCapacity));
}

void TObjectList::NotifyRemoval(TObject* item) {
  if (FOwnsItems) delete item;
}

TObject* TObjectList::Items(int index) const {
  if (index < 0 || index >= Count()) IndexError(index);
  return FItems[static_cast<size_t>(index)];
}

void TObjectList::Put(int index, TObject* item) {
  if (index < 0 || index >= Count()) IndexError(index);
  TObject*& slot = FItems[static_cast<size_t>(index)];
  if (slot != item) {
    NotifyRemoval(slot);
    slot = item;
  }
}

int TObjectList::Add(TObject* item) {
  Insert(Count(), item);
  return Count() - 1;
}

void TObjectList::Clear() {
  std::vector<TObject*> items;
  items.swap(FItems);
  for (TObject* item : items) NotifyRemoval(item);
  FCapacity = 0;
}

int TObjectList::IndexOf(const TObject* item) const {
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (FItems[i] == item) return static_cast<int>(i);
  }
  return -1;
}

void TObjectList::Insert(int index, TObject* item) {
  if (index < 0 || index > Count()) IndexError(index);
  if (Count() == FCapacity) Grow();
  FItems.insert(FItems.begin() + index, item);
}

void TObjectList::Delete(int index) {
  TObject* item = Items(index);
  FItems.erase(FItems.begin() + index);
  NotifyRemoval(item);
}

TObject* TObjectList::First() const {
  return Items(0);
}
TObject* TObjectList::Last() const {
  return Items(Count() - 1);
}

TObject* TObjectList::Neighbour(const TObject* item, int step) const {
  int index = IndexOf(item);
  if (index < 0) throw EListError("tObject not in item list");
  int target = index + step;
  return target >= 0 && target < Count() ? FItems[static_cast<size_t>(target)] : nullptr;
}

bool TSortedObjectList::Find(const TObject* key, int& index) const {
  int low = 0;
  int high = Count() - 1;
  bool found = false;
  while (low <= high) {
    int middle = (low + high) / 2;
    int order = Compare(FItems[static_cast<size_t>(middle)], key);
    if (order < 0) {
      low = middle + 1;
    } else {
      high = middle - 1;
      if (order == 0) {
        found = true;
        if (FDuplicates != TDuplicates::dupAccept) low = middle;
      }
    }
  }
  index = low;
  return found;
}

int TSortedObjectList::Add(TObject* item) {
  int index;
  if (Find(KeyOf(item), index)) {
    if (FDuplicates == TDuplicates::dupIgnore) {
      NotifyRemoval(item);
      return -1;
    }
    if (FDuplicates == TDuplicates::dupError) throw EListError("Duplicate Object index");
  }
  Insert(index, item);
  return index;
}

void TSortedObjectList::Put(int, TObject*) {
  throw EListError("Cannot <Put> an Object in a sorted list!");
}

TZipHeaderInfo* TSortedZip::Header(int index) const {
  return static_cast<TZipHeaderInfo*>(Items(index));
}

int TSortedZip::Add(TObject* item) {
  bool zip64 = static_cast<TZipHeaderInfo*>(item)->HasZip64Extra();
  int index = TSortedObjectList::Add(item);
  if (zip64) FHasZip64 = true;
  return index;
}

namespace {

int CompareText(const std::string& a, const std::string& b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int Rate(const TZipHeaderInfo& header) {
  uint64_t uncompressed = header.UncompressedSize();
  if (uncompressed == 0) return 0;
  double ratio =
      static_cast<double>(header.CompressedSize()) * 100.0 / static_cast<double>(uncompressed);
  if (ratio >= 100.0) return 100;
  return static_cast<int>(ratio + 0.5);
}

}  // namespace

int TSortedZip::Compare(const TObject* item, const TObject* key) const {
  const auto& a = *static_cast<const TZipHeaderInfo*>(item);
  const auto& b = *static_cast<const TZipHeaderInfo*>(key);
  switch (FSortMode) {
    case TZipSortMode::ByName:
      return CompareText(a.Directory + a.FileName, b.Directory + b.FileName);
    case TZipSortMode::ByFileName:
      return CompareText(a.FileName, b.FileName);
    case TZipSortMode::ByDirectoryName:
      return CompareText(a.Directory, b.Directory);
    case TZipSortMode::ByDate:
      return DosDateTimeOrder(b.DateTime) > DosDateTimeOrder(a.DateTime) ? 1 : -1;
    case TZipSortMode::ByCompressedSize:
      return static_cast<uint32_t>(b.CompressedSize()) > static_cast<uint32_t>(a.CompressedSize())
                 ? 1
                 : -1;
    case TZipSortMode::ByUnCompressedSize:
      return static_cast<uint32_t>(b.UncompressedSize()) >
                     static_cast<uint32_t>(a.UncompressedSize())
                 ? 1
                 : -1;
    case TZipSortMode::ByRate:
      return Rate(b) - Rate(a);
    case TZipSortMode::ByNone:
    default:
      if (a.DiskNumberStart() != b.DiskNumberStart())
        return a.DiskNumberStart() < b.DiskNumberStart() ? -1 : 1;
      if (a.RelativeOffset() == b.RelativeOffset()) return 0;
      return a.RelativeOffset() > b.RelativeOffset() ? 1 : -1;
  }
}
