// Object lists of the engine: TObjectList (an array of owned or borrowed objects with a
// fixed growth rule), TSortedObjectList (binary-search insertion with a duplicates rule)
// and TSortedZip (directory records ordered by one TZipSortMode).
#pragma once

#include <cstdint>
#include <vector>

class TZipHeaderInfo;

// Root of every object a list can hold.
class TObject {
 public:
  virtual ~TObject() = default;
};

class TObjectList {
 public:
  explicit TObjectList(bool ownsItems = true) : FOwnsItems(ownsItems) {}
  virtual ~TObjectList();
  TObjectList(const TObjectList&) = delete;
  TObjectList& operator=(const TObjectList&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  int Capacity() const { return FCapacity; }
  bool OwnsItems() const { return FOwnsItems; }
  TObject* Items(int index) const;

  virtual void Put(int index, TObject* item);
  virtual int Add(TObject* item);
  virtual void Clear();
  virtual int IndexOf(const TObject* item) const;
  virtual void Insert(int index, TObject* item);
  // Removes the item at |index|, freeing it when the list owns its items.
  void Delete(int index);
  virtual TObject* First() const;
  virtual TObject* Last() const;
  // The item |step| places from |item| (null past either end).
  virtual TObject* Neighbour(const TObject* item, int step) const;

 protected:
  [[noreturn]] virtual void IndexError(int index) const;
  virtual void Grow();
  virtual void NotifyRemoval(TObject* item);

  std::vector<TObject*> FItems;
  int FCapacity = 0;
  bool FOwnsItems;
};

enum class TDuplicates { dupIgnore = 0, dupAccept = 1, dupError = 2 };

class TSortedObjectList : public TObjectList {
 public:
  TSortedObjectList(TDuplicates duplicates, bool ownsItems)
      : TObjectList(ownsItems), FDuplicates(duplicates) {}

  TDuplicates Duplicates() const { return FDuplicates; }
  // Inserts at the position Find gives; returns it, or -1 when a duplicate was dropped.
  // A dropped duplicate is freed when the list owns its items.
  int Add(TObject* item) override;
  void Put(int index, TObject* item) override;
  // Binary search for |key|; |index| receives the insert position.
  virtual bool Find(const TObject* key, int& index) const;

 protected:
  virtual const TObject* KeyOf(const TObject* item) const { return item; }
  virtual int Compare(const TObject* item, const TObject* key) const = 0;

  TDuplicates FDuplicates;
};

enum class TZipSortMode {
  ByName = 0,
  ByFileName = 1,
  ByDirectoryName = 2,
  ByDate = 3,
  ByCompressedSize = 4,
  ByUnCompressedSize = 5,
  ByRate = 6,
  ByNone = 7,
};

class TSortedZip : public TSortedObjectList {
 public:
  TSortedZip(TZipSortMode mode, TDuplicates duplicates, bool ownsItems)
      : TSortedObjectList(duplicates, ownsItems), FSortMode(mode) {}

  TZipSortMode SortMode() const { return FSortMode; }
  bool HasZip64() const { return FHasZip64; }
  TZipHeaderInfo* Header(int index) const;
  int Add(TObject* item) override;

 protected:
  int Compare(const TObject* item, const TObject* key) const override;

 private:
  TZipSortMode FSortMode;
  bool FHasZip64 = false;
};
