#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "rtl/exceptions.h"
#include "rtl/stringlist.h"

namespace {

using Lines = std::vector<std::string>;

Lines LinesOf(const rtl::TStrings& AList) {
  Lines lines;
  for (int i = 0; i < AList.GetCount(); ++i)
    lines.push_back(AList[i]);
  return lines;
}

rtl::TOwned<rtl::TStringList> ListOf(const Lines& ALines) {
  auto list = rtl::MakeOwned<rtl::TStringList>();
  for (const std::string& line : ALines)
    list->Add(line);
  return list;
}

int gFreed = 0;

class TTracked : public rtl::TObject {
public:
  ~TTracked() override { ++gFreed; }
};

template <class E> std::string MessageOf(const std::function<void()>& AAction) {
  try {
    AAction();
  } catch (const E& e) {
    return e.Message();
  }
  return "no exception";
}

TEST(TStringList, SortedAfterLoadingFindsCaseInsensitively) {
  auto list = ListOf({"GL_EXT_c", "GL_ARB_b", "", "gl_arb_A", "GL_ARB_b"});
  list->SetSorted(true);
  EXPECT_EQ(LinesOf(*list), (Lines{"", "gl_arb_A", "GL_ARB_b", "GL_ARB_b", "GL_EXT_c"}));

  struct TCase {
    const char* Text;
    bool Found;
    int Index;
  };
  for (const TCase& c : {TCase{"GL_ARB_A", true, 1}, TCase{"gl_arb_B", true, 2}, TCase{"GL_ARB_AA", false, 2},
                         TCase{"", true, 0}, TCase{"zzz", false, 5}, TCase{"GL_", false, 1}}) {
    int index = -1;
    EXPECT_EQ(list->Find(c.Text, index), c.Found) << c.Text;
    EXPECT_EQ(index, c.Index) << c.Text;
  }
  EXPECT_EQ(list->IndexOf("gl_ext_C"), 4);
  EXPECT_EQ(list->IndexOf("GL_EXT"), -1);

  list->SetCaseSensitive(true);
  EXPECT_EQ(LinesOf(*list), (Lines{"", "GL_ARB_b", "GL_ARB_b", "GL_EXT_c", "gl_arb_A"}));
  EXPECT_EQ(list->IndexOf("GL_ARB_A"), -1);
  EXPECT_EQ(list->IndexOf("gl_arb_A"), 4);
}

TEST(TStringList, DuplicatesPolicyOnSortedLists) {
  auto list = ListOf({"b", "a"});
  list->SetSorted(true);
  EXPECT_EQ(list->Add("B"), 1);
  EXPECT_EQ(list->GetCount(), 2);

  list->SetDuplicates(rtl::TDuplicates::dupError);
  EXPECT_EQ(MessageOf<rtl::EListError>([&] { list->Add("A"); }), "String list does not allow duplicates");
  EXPECT_EQ(list->Add("c"), 2);

  list->SetDuplicates(rtl::TDuplicates::dupAccept);
  EXPECT_EQ(list->Add("A"), 1);
  EXPECT_EQ(LinesOf(*list), (Lines{"a", "A", "b", "c"}));

  auto unsorted = ListOf({"x"});
  unsorted->SetDuplicates(rtl::TDuplicates::dupError);
  EXPECT_EQ(unsorted->Add("x"), 1);
}

TEST(TStringList, TextRoundTrip) {
  auto list = rtl::MakeOwned<rtl::TStringList>();
  list->SetText("a\r\nb\nc\rd\r\n\r\ne");
  EXPECT_EQ(LinesOf(*list), (Lines{"a", "b", "c", "d", "", "e"}));
  const std::string text = list->GetText();
  EXPECT_EQ(text, "a\r\nb\r\nc\r\nd\r\n\r\ne\r\n");
  list->SetText(text);
  EXPECT_EQ(list->GetText(), text);

  list->SetText("");
  EXPECT_EQ(list->GetCount(), 0);
  list->SetText("\n\n");
  EXPECT_EQ(LinesOf(*list), (Lines{"", ""}));
  list->SetText("\r\n");
  EXPECT_EQ(LinesOf(*list), Lines{""});
}

TEST(TStringList, CommaAndDelimitedText) {
  auto list = ListOf({"a", "b c", "", "x\"y", "d,e"});
  EXPECT_EQ(list->GetCommaText(), "a,\"b c\",,\"x\"\"y\",\"d,e\"");
  auto copy = rtl::MakeOwned<rtl::TStringList>();
  copy->SetCommaText(list->GetCommaText());
  EXPECT_EQ(LinesOf(*copy), LinesOf(*list));

  struct TCase {
    const char* Text;
    Lines Expected;
  };
  for (const TCase& c : {TCase{"a b, c,\"d,e\",", {"a", "b", "c", "d,e", ""}}, TCase{"", {}},
                         TCase{"\"\"", {""}}, TCase{",a", {"", "a"}}, TCase{"\"open", {"open"}}}) {
    copy->SetCommaText(c.Text);
    EXPECT_EQ(LinesOf(*copy), c.Expected) << c.Text;
  }
  EXPECT_EQ(ListOf({""})->GetCommaText(), "\"\"");

  copy->SetDelimiter(';');
  copy->SetQuoteChar('\'');
  copy->SetStrictDelimiter(true);
  copy->SetDelimitedText(" a b;'c;d';");
  EXPECT_EQ(LinesOf(*copy), (Lines{" a b", "c;d", ""}));
  EXPECT_EQ(copy->GetDelimitedText(), " a b;'c;d';");
}

TEST(TStringList, NamesAndValues) {
  auto list = ListOf({"Width=64", "plain", "Path=a=b", "=anonymous"});
  EXPECT_EQ(list->GetNames(0), "Width");
  EXPECT_EQ(list->GetNames(1), "");
  EXPECT_EQ(list->GetValueFromIndex(1), "");
  EXPECT_EQ(list->GetValueFromIndex(2), "a=b");
  EXPECT_EQ(list->GetValues("width"), "64");
  EXPECT_EQ(list->GetValues(""), "anonymous");
  EXPECT_EQ(list->GetValues("missing"), "");

  list->SetValues("WIDTH", "128");
  list->SetValues("Height", "32");
  list->SetValues("Path", "");
  EXPECT_EQ(LinesOf(*list), (Lines{"WIDTH=128", "plain", "=anonymous", "Height=32"}));

  list->SetNameValueSeparator(':');
  list->Add("Mode: fast");
  EXPECT_EQ(list->GetValues("mode"), " fast");
}

TEST(TStringList, IndexAndSortedListErrors) {
  auto list = ListOf({"a", "b"});
  EXPECT_EQ(MessageOf<rtl::EListError>([&] { list->GetStrings(2); }), "List index out of bounds (2)");
  EXPECT_EQ(MessageOf<rtl::EListError>([&] { list->Delete(-1); }), "List index out of bounds (-1)");
  EXPECT_EQ(MessageOf<rtl::EListError>([&] { list->Insert(3, "x"); }), "List index out of bounds (3)");
  list->Insert(2, "c");
  list->Insert(0, "z");
  EXPECT_EQ(LinesOf(*list), (Lines{"z", "a", "b", "c"}));

  list->SetSorted(true);
  EXPECT_EQ(MessageOf<rtl::EListError>([&] { list->Insert(0, "x"); }),
            "Operation not allowed on sorted list");
  EXPECT_EQ(MessageOf<rtl::EListError>([&] { list->SetStrings(0, "x"); }),
            "Operation not allowed on sorted list");
  EXPECT_THROW(list->CustomSort([](const rtl::TStringList&, int, int) { return 0; }), rtl::EListError);
}

TEST(TStringList, ObjectsFollowTheirLinesAndOwnershipFreesThem) {
  gFreed = 0;
  {
    auto list = rtl::MakeOwned<rtl::TStringList>();
    list->SetOwnsObjects(true);
    auto* b = new TTracked();
    list->AddObject("b", b);
    list->AddObject("a", new TTracked());
    list->AddObject("c", new TTracked());
    list->SetSorted(true);
    EXPECT_EQ(list->GetObjects(1), b);
    EXPECT_EQ(list->IndexOfObject(b), 1);

    list->Delete(0);
    EXPECT_EQ(gFreed, 1);
    list->SetObjects(0, new TTracked());
    EXPECT_EQ(gFreed, 2);
  }
  EXPECT_EQ(gFreed, 4);

  TTracked kept;
  {
    auto list = rtl::MakeOwned<rtl::TStringList>();
    list->AddObject("kept", &kept);
    list->Clear();
  }
  EXPECT_EQ(gFreed, 4);
}

TEST(TStringList, AssignAddStringsAndCustomSort) {
  auto source = ListOf({"b", "B", "a"});
  source->SetCaseSensitive(true);
  source->SetSorted(true);
  source->SetDelimiter(';');

  auto copy = ListOf({"old"});
  copy->Assign(*source);
  EXPECT_TRUE(copy->GetSorted());
  EXPECT_TRUE(copy->GetCaseSensitive());
  EXPECT_EQ(copy->GetDelimiter(), ';');
  EXPECT_EQ(LinesOf(*copy), (Lines{"B", "a", "b"}));

  auto unsorted = ListOf({"x"});
  unsorted->AddStrings(*unsorted);
  unsorted->AddStrings(*source);
  EXPECT_EQ(LinesOf(*unsorted), (Lines{"x", "x", "B", "a", "b"}));

  auto byLength = ListOf({"ccc", "a", "bb", "d"});
  byLength->CustomSort([](const rtl::TStringList& AList, int A, int B) {
    return static_cast<int>(AList[A].size()) - static_cast<int>(AList[B].size());
  });
  EXPECT_EQ(LinesOf(*byLength), (Lines{"a", "d", "bb", "ccc"}));
}

} // namespace
