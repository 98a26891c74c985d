#pragma once
// Lists of strings with an optional object per line. TStrings holds the text-level behaviour
// (Text, CommaText, name=value pairs) over a few storage primitives; TStringList stores the lines
// and adds sorting, binary search and the duplicates policy.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/generics_lists.h"
#include "rtl/object.h"

namespace rtl {

class TFiler;

namespace messages {
inline constexpr const char* DuplicateString = "String list does not allow duplicates";
inline constexpr const char* SortedListError = "Operation not allowed on sorted list";
} // namespace messages

class TStrings : public TObject {
  RTL_CLASS(TStrings, TObject)
public:
  // Storage primitives. Indices out of range raise EListError "List index out of bounds (%d)".
  virtual int GetCount() const = 0;
  virtual const std::string& GetStrings(int AIndex) const = 0;
  virtual void SetStrings(int AIndex, std::string_view AValue) = 0;
  virtual TObject* GetObjects(int AIndex) const = 0;
  virtual void SetObjects(int AIndex, TObject* AObject) = 0;
  virtual void InsertObject(int AIndex, std::string_view AValue, TObject* AObject) = 0;
  virtual void Delete(int AIndex) = 0;
  virtual void Clear() = 0;
  // Compares two lines as this list does (TStringList: by its CaseSensitive setting).
  virtual int CompareStrings(std::string_view A, std::string_view B) const;

  // The index of the new line.
  virtual int AddObject(std::string_view AValue, TObject* AObject);
  int Add(std::string_view AValue) { return AddObject(AValue, nullptr); }
  void Insert(int AIndex, std::string_view AValue) { InsertObject(AIndex, AValue, nullptr); }
  // -1 when absent.
  virtual int IndexOf(std::string_view AValue) const;
  int IndexOfObject(const TObject* AObject) const;
  void AddStrings(const TStrings& AStrings);
  // The lines, objects and text settings of ASource replace this list's.
  virtual void Assign(const TStrings& ASource);

  // Every line followed by LineBreak ("\r\n"). Setting it splits at CR LF, LF or CR; a final
  // line break adds no empty line.
  std::string GetText() const;
  void SetText(std::string_view AText);
  const std::string& GetLineBreak() const { return FLineBreak; }
  void SetLineBreak(std::string_view AValue) { FLineBreak = AValue; }

  // Lines joined by Delimiter; a line holding blanks, control characters, the delimiter or the
  // quote character is quoted (with StrictDelimiter only for the last two). Setting it splits at
  // the delimiter and, unless StrictDelimiter, at blanks; quoted parts may hold either.
  std::string GetDelimitedText() const;
  void SetDelimitedText(std::string_view AText);
  // DelimitedText with "," and '"', whatever Delimiter, QuoteChar and StrictDelimiter are.
  std::string GetCommaText() const;
  void SetCommaText(std::string_view AText);
  char GetDelimiter() const { return FDelimiter; }
  void SetDelimiter(char AValue) { FDelimiter = AValue; }
  char GetQuoteChar() const { return FQuoteChar; }
  void SetQuoteChar(char AValue) { FQuoteChar = AValue; }
  bool GetStrictDelimiter() const { return FStrictDelimiter; }
  void SetStrictDelimiter(bool AValue) { FStrictDelimiter = AValue; }

  // Name=value lines. A line without the separator has an empty name and value.
  char GetNameValueSeparator() const { return FNameValueSeparator; }
  void SetNameValueSeparator(char AValue) { FNameValueSeparator = AValue; }
  std::string GetNames(int AIndex) const;
  std::string GetValueFromIndex(int AIndex) const;
  // The first line whose name matches (compared as CompareStrings does), or -1.
  int IndexOfName(std::string_view AName) const;
  // Empty when no line has the name.
  std::string GetValues(std::string_view AName) const;
  // Replaces the named line's value, adds "name=value" when absent; an empty value deletes the line.
  void SetValues(std::string_view AName, std::string_view AValue);

  const std::string& operator[](int AIndex) const { return GetStrings(AIndex); }

  // Streams the lines as the defined property "Strings" (a list of strings), only when there are
  // lines; reading replaces them.
  void DefineProperties(TFiler* AFiler);

protected:
  TStrings() = default;
  [[noreturn]] static void RaiseIndexError(int AIndex);
  // Line break, delimiters, quote and separator.
  void AssignTextSettings(const TStrings& ASource);

private:
  std::string FLineBreak = "\r\n";
  char FDelimiter = ',';
  char FQuoteChar = '"';
  char FNameValueSeparator = '=';
  bool FStrictDelimiter = false;
};

class TStringList : public TStrings {
  RTL_CLASS(TStringList, TStrings)
public:
  TStringList() = default;
  ~TStringList() override;

  int GetCount() const override { return static_cast<int>(FItems.size()); }
  const std::string& GetStrings(int AIndex) const override;
  // Raises EListError "Operation not allowed on sorted list" on a sorted list.
  void SetStrings(int AIndex, std::string_view AValue) override;
  TObject* GetObjects(int AIndex) const override;
  void SetObjects(int AIndex, TObject* AObject) override;
  // Raises EListError "Operation not allowed on sorted list" on a sorted list.
  void InsertObject(int AIndex, std::string_view AValue, TObject* AObject) override;
  void Delete(int AIndex) override;
  void Clear() override;
  int CompareStrings(std::string_view A, std::string_view B) const override;

  // On a sorted list the line goes to its place; an equal line is handled by Duplicates
  // (dupIgnore returns the existing index, dupError raises EListError "String list does not
  // allow duplicates", dupAccept inserts after the equal lines). Unsorted lists append. An
  // ignored line's object is not taken, so an owning list leaves it to the caller.
  int AddObject(std::string_view AValue, TObject* AObject) override;
  int IndexOf(std::string_view AValue) const override;
  // Also takes Sorted, Duplicates and CaseSensitive from another TStringList.
  void Assign(const TStrings& ASource) override;

  // Binary search of a sorted list: true when found, with AIndex the first equal line; otherwise
  // AIndex is where the line would go. On an unsorted list the answer is meaningless.
  bool Find(std::string_view AValue, int& AIndex) const;
  // Stable sort by CompareStrings; objects move with their lines.
  virtual void Sort();
  // Sorts an unsorted list by ACompare(list, i, j) over the current indices. Raises EListError
  // "Operation not allowed on sorted list" on a sorted list, whose order is fixed.
  void CustomSort(const std::function<int(const TStringList&, int, int)>& ACompare);

  bool GetSorted() const { return FSorted; }
  // Setting it sorts the lines present; existing duplicates stay.
  void SetSorted(bool AValue);
  bool GetCaseSensitive() const { return FCaseSensitive; }
  // A sorted list re-sorts under the new comparison.
  void SetCaseSensitive(bool AValue);
  TDuplicates GetDuplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates AValue) { FDuplicates = AValue; }
  // An owning list frees the objects of lines it deletes or replaces, and those it holds when freed.
  bool GetOwnsObjects() const { return FOwnsObjects; }
  void SetOwnsObjects(bool AValue) { FOwnsObjects = AValue; }

private:
  struct TItem {
    std::string Text;
    TObject* Object = nullptr;
  };

  void CheckIndex(int AIndex) const;
  void CheckUnsorted() const;
  void FreeObject(TObject* AObject) const;
  int FirstNotBefore(std::string_view AValue, bool AAfterEqual) const;
  void InsertItem(int AIndex, std::string_view AValue, TObject* AObject);

  std::vector<TItem> FItems;
  bool FSorted = false;
  bool FCaseSensitive = false;
  bool FOwnsObjects = false;
  TDuplicates FDuplicates = TDuplicates::dupIgnore;
};

} // namespace rtl
