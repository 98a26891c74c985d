#include "rtl/stringlist.h"

#include "rtl/filer.h"

#include <algorithm>
#include <numeric>

#include "rtl/sysutils.h"

namespace rtl {

RTL_DEFINE_CLASS(TStrings, "Rtl.Classes")
RTL_DEFINE_CLASS(TStringList, "Rtl.Classes")

namespace {

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

struct TDelimiting {
  char Delimiter;
  char Quote;
  bool Strict;
};

std::string JoinDelimited(const TStrings& AStrings, const TDelimiting& AStyle) {
  const int count = AStrings.GetCount();
  // A single empty line must not read back as no line at all.
  if (count == 1 && AStrings[0].empty())
    return std::string(2, AStyle.Quote);
  std::string result;
  for (int i = 0; i < count; ++i) {
    const std::string& line = AStrings[i];
    const bool quote = std::any_of(line.begin(), line.end(), [&](char c) {
      return c == AStyle.Delimiter || c == AStyle.Quote || (!AStyle.Strict && IsBlank(c));
    });
    if (i > 0)
      result += AStyle.Delimiter;
    result += quote ? QuotedStr(line, AStyle.Quote) : line;
  }
  return result;
}

// The quoted part starting at APos (on the opening quote), with doubled quotes read as one;
// an unterminated part runs to the end. APos ends after the closing quote.
std::string ExtractQuoted(std::string_view AText, size_t& APos, char AQuote) {
  std::string result;
  ++APos;
  while (APos < AText.size()) {
    const char c = AText[APos++];
    if (c != AQuote) {
      result += c;
      continue;
    }
    if (APos < AText.size() && AText[APos] == AQuote) {
      result += AQuote;
      ++APos;
      continue;
    }
    break;
  }
  return result;
}

void SplitDelimited(TStrings& AStrings, std::string_view AText, const TDelimiting& AStyle) {
  AStrings.Clear();
  size_t pos = 0;
  const auto skipBlanks = [&] {
    while (!AStyle.Strict && pos < AText.size() && IsBlank(AText[pos]))
      ++pos;
  };
  skipBlanks();
  while (pos < AText.size()) {
    if (AText[pos] == AStyle.Quote) {
      AStrings.Add(ExtractQuoted(AText, pos, AStyle.Quote));
    } else {
      const size_t start = pos;
      while (pos < AText.size() && AText[pos] != AStyle.Delimiter && (AStyle.Strict || !IsBlank(AText[pos])))
        ++pos;
      AStrings.Add(AText.substr(start, pos - start));
    }
    skipBlanks();
    if (pos < AText.size() && AText[pos] == AStyle.Delimiter) {
      // A delimiter at the very end stands before one more, empty line.
      if (++pos == AText.size())
        AStrings.Add("");
      skipBlanks();
    }
  }
}

} // namespace

// ---- TStrings -------------------------------------------------------------------------------------

void TStrings::RaiseIndexError(int AIndex) {
  throw EListError(Format(messages::ListIndexError, AIndex));
}

int TStrings::CompareStrings(std::string_view A, std::string_view B) const {
  return CompareText(A, B);
}

int TStrings::AddObject(std::string_view AValue, TObject* AObject) {
  const int index = GetCount();
  InsertObject(index, AValue, AObject);
  return index;
}

int TStrings::IndexOf(std::string_view AValue) const {
  for (int i = 0, count = GetCount(); i < count; ++i)
    if (CompareStrings(GetStrings(i), AValue) == 0)
      return i;
  return -1;
}

int TStrings::IndexOfObject(const TObject* AObject) const {
  for (int i = 0, count = GetCount(); i < count; ++i)
    if (GetObjects(i) == AObject)
      return i;
  return -1;
}

void TStrings::AddStrings(const TStrings& AStrings) {
  // Read the count first: adding a list to itself doubles it once.
  for (int i = 0, count = AStrings.GetCount(); i < count; ++i)
    AddObject(AStrings.GetStrings(i), AStrings.GetObjects(i));
}

void TStrings::AssignTextSettings(const TStrings& ASource) {
  FLineBreak = ASource.FLineBreak;
  FDelimiter = ASource.FDelimiter;
  FQuoteChar = ASource.FQuoteChar;
  FNameValueSeparator = ASource.FNameValueSeparator;
  FStrictDelimiter = ASource.FStrictDelimiter;
}

void TStrings::Assign(const TStrings& ASource) {
  if (&ASource == this)
    return;
  AssignTextSettings(ASource);
  Clear();
  AddStrings(ASource);
}

std::string TStrings::GetText() const {
  std::string result;
  for (int i = 0, count = GetCount(); i < count; ++i) {
    result += GetStrings(i);
    result += FLineBreak;
  }
  return result;
}

void TStrings::SetText(std::string_view AText) {
  Clear();
  size_t start = 0;
  while (start < AText.size()) {
    size_t end = AText.find_first_of("\r\n", start);
    if (end == std::string_view::npos)
      end = AText.size();
    Add(AText.substr(start, end - start));
    start = end + 1;
    if (end < AText.size() && AText[end] == '\r' && start < AText.size() && AText[start] == '\n')
      ++start;
  }
}

std::string TStrings::GetDelimitedText() const {
  return JoinDelimited(*this, {FDelimiter, FQuoteChar, FStrictDelimiter});
}

void TStrings::SetDelimitedText(std::string_view AText) {
  SplitDelimited(*this, AText, {FDelimiter, FQuoteChar, FStrictDelimiter});
}

std::string TStrings::GetCommaText() const {
  return JoinDelimited(*this, {',', '"', false});
}

void TStrings::SetCommaText(std::string_view AText) {
  SplitDelimited(*this, AText, {',', '"', false});
}

std::string TStrings::GetNames(int AIndex) const {
  const std::string& line = GetStrings(AIndex);
  const size_t pos = line.find(FNameValueSeparator);
  return pos == std::string::npos ? std::string() : line.substr(0, pos);
}

std::string TStrings::GetValueFromIndex(int AIndex) const {
  const std::string& line = GetStrings(AIndex);
  const size_t pos = line.find(FNameValueSeparator);
  return pos == std::string::npos ? std::string() : line.substr(pos + 1);
}

int TStrings::IndexOfName(std::string_view AName) const {
  for (int i = 0, count = GetCount(); i < count; ++i) {
    const std::string& line = GetStrings(i);
    const size_t pos = line.find(FNameValueSeparator);
    if (pos != std::string::npos && CompareStrings(std::string_view(line).substr(0, pos), AName) == 0)
      return i;
  }
  return -1;
}

std::string TStrings::GetValues(std::string_view AName) const {
  const int index = IndexOfName(AName);
  return index < 0 ? std::string() : GetValueFromIndex(index);
}

void TStrings::SetValues(std::string_view AName, std::string_view AValue) {
  const int index = IndexOfName(AName);
  if (AValue.empty()) {
    if (index >= 0)
      Delete(index);
    return;
  }
  std::string line(AName);
  line += FNameValueSeparator;
  line += AValue;
  if (index < 0)
    Add(line);
  else
    SetStrings(index, line);
}

// ---- TStringList ----------------------------------------------------------------------------------

TStringList::~TStringList() {
  Clear();
}

void TStringList::CheckIndex(int AIndex) const {
  if (AIndex < 0 || AIndex >= GetCount())
    RaiseIndexError(AIndex);
}

void TStringList::CheckUnsorted() const {
  if (FSorted)
    throw EListError(messages::SortedListError);
}

void TStringList::FreeObject(TObject* AObject) const {
  if (FOwnsObjects && AObject)
    AObject->Free();
}

const std::string& TStringList::GetStrings(int AIndex) const {
  CheckIndex(AIndex);
  return FItems[static_cast<size_t>(AIndex)].Text;
}

void TStringList::SetStrings(int AIndex, std::string_view AValue) {
  CheckUnsorted();
  CheckIndex(AIndex);
  FItems[static_cast<size_t>(AIndex)].Text = AValue;
}

TObject* TStringList::GetObjects(int AIndex) const {
  CheckIndex(AIndex);
  return FItems[static_cast<size_t>(AIndex)].Object;
}

void TStringList::SetObjects(int AIndex, TObject* AObject) {
  CheckIndex(AIndex);
  TObject* old = std::exchange(FItems[static_cast<size_t>(AIndex)].Object, AObject);
  if (old != AObject)
    FreeObject(old);
}

void TStringList::InsertObject(int AIndex, std::string_view AValue, TObject* AObject) {
  CheckUnsorted();
  if (AIndex < 0 || AIndex > GetCount())
    RaiseIndexError(AIndex);
  InsertItem(AIndex, AValue, AObject);
}

void TStringList::InsertItem(int AIndex, std::string_view AValue, TObject* AObject) {
  FItems.insert(FItems.begin() + AIndex, TItem{std::string(AValue), AObject});
}

void TStringList::Delete(int AIndex) {
  CheckIndex(AIndex);
  TObject* object = FItems[static_cast<size_t>(AIndex)].Object;
  // The line is gone before its object is freed, so a destructor looking at the list sees it
  // consistent.
  FItems.erase(FItems.begin() + AIndex);
  FreeObject(object);
}

void TStringList::Clear() {
  std::vector<TItem> items = std::move(FItems);
  FItems.clear();
  for (const TItem& item : items)
    FreeObject(item.Object);
}

int TStringList::CompareStrings(std::string_view A, std::string_view B) const {
  return FCaseSensitive ? CompareStr(A, B) : CompareText(A, B);
}

int TStringList::FirstNotBefore(std::string_view AValue, bool AAfterEqual) const {
  int low = 0;
  int high = GetCount();
  while (low < high) {
    const int middle = low + (high - low) / 2;
    const int order = CompareStrings(FItems[static_cast<size_t>(middle)].Text, AValue);
    if (order < 0 || (AAfterEqual && order == 0))
      low = middle + 1;
    else
      high = middle;
  }
  return low;
}

bool TStringList::Find(std::string_view AValue, int& AIndex) const {
  AIndex = FirstNotBefore(AValue, false);
  return AIndex < GetCount() && CompareStrings(FItems[static_cast<size_t>(AIndex)].Text, AValue) == 0;
}

int TStringList::AddObject(std::string_view AValue, TObject* AObject) {
  if (!FSorted)
    return TStrings::AddObject(AValue, AObject);
  int index = 0;
  if (Find(AValue, index)) {
    switch (FDuplicates) {
    case TDuplicates::dupIgnore:
      return index;
    case TDuplicates::dupError:
      throw EListError(messages::DuplicateString);
    case TDuplicates::dupAccept:
      index = FirstNotBefore(AValue, true);
      break;
    }
  }
  InsertItem(index, AValue, AObject);
  return index;
}

int TStringList::IndexOf(std::string_view AValue) const {
  if (!FSorted)
    return TStrings::IndexOf(AValue);
  int index = 0;
  return Find(AValue, index) ? index : -1;
}

void TStringList::Assign(const TStrings& ASource) {
  const auto* list = dynamic_cast<const TStringList*>(&ASource);
  if (!list || list == this) {
    TStrings::Assign(ASource);
    return;
  }
  // Copied line by line, so that lines a sorted source holds against its own policy (sorted
  // after loading) arrive unchanged.
  Clear();
  AssignTextSettings(*list);
  FSorted = list->FSorted;
  FCaseSensitive = list->FCaseSensitive;
  FDuplicates = list->FDuplicates;
  FItems = list->FItems;
}

void TStringList::Sort() {
  std::stable_sort(FItems.begin(), FItems.end(),
                   [this](const TItem& A, const TItem& B) { return CompareStrings(A.Text, B.Text) < 0; });
}

void TStringList::CustomSort(const std::function<int(const TStringList&, int, int)>& ACompare) {
  CheckUnsorted();
  // The comparison reads the list by index, so the order is found first and applied after.
  std::vector<int> order(FItems.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int A, int B) { return ACompare(*this, A, B) < 0; });
  std::vector<TItem> sorted;
  sorted.reserve(FItems.size());
  for (int index : order)
    sorted.push_back(std::move(FItems[static_cast<size_t>(index)]));
  FItems = std::move(sorted);
}

void TStringList::SetSorted(bool AValue) {
  if (AValue && !FSorted)
    Sort();
  FSorted = AValue;
}

void TStringList::SetCaseSensitive(bool AValue) {
  if (AValue == FCaseSensitive)
    return;
  FCaseSensitive = AValue;
  if (FSorted)
    Sort();
}

void TStrings::DefineProperties(TFiler* AFiler) {
  AFiler->DefineProperty(
      "Strings",
      [this](TReader& AReader) {
        Clear();
        AReader.ReadListBegin();
        while (!AReader.EndOfList())
          Add(AReader.ReadString());
        AReader.ReadListEnd();
      },
      [this](TWriter& AWriter) {
        AWriter.WriteListBegin();
        for (int i = 0; i < GetCount(); ++i)
          AWriter.WriteString(GetStrings(i));
        AWriter.WriteListEnd();
      },
      GetCount() > 0);
}

} // namespace rtl
