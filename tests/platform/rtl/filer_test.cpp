#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "rtl/colors.h"
#include "rtl/filer.h"
#include "rtl/form_text.h"
#include "rtl/ioutils.h"
#include "rtl/properties.h"
#include "rtl/resources.h"
#include "rtl/set.h"
#include "rtl/stringlist.h"

namespace formtest {

enum class TDeviceKind : uint8_t { Desktop, Phone, Tablet };
RTL_ENUM_TYPEINFO(TDeviceKind, "Desktop", "Phone", "Tablet")
using TDeviceKinds = rtl::TSet<TDeviceKind>;

enum class TAlignLayout : uint8_t { None, Client, Top };
RTL_ENUM_TYPEINFO(TAlignLayout, "None", "Client", "Top")

// What happened while loading, in order.
std::vector<std::string>& Log() {
  static std::vector<std::string> log;
  return log;
}

class TSize : public rtl::TPersistent {
  RTL_CLASS(TSize, rtl::TPersistent)
public:
  float GetWidth() const { return FWidth; }
  void SetWidth(float AValue) { FWidth = AValue; }
  float GetHeight() const { return FHeight; }
  void SetHeight(float AValue) { FHeight = AValue; }
  bool GetPlatformDefault() const { return FPlatformDefault; }
  void SetPlatformDefault(bool AValue) { FPlatformDefault = AValue; }
  static void RegisterProperties(rtl::TPropertyList& AList) {
    AList.Add("Width", &TSize::GetWidth, &TSize::SetWidth);
    AList.Add("Height", &TSize::GetHeight, &TSize::SetHeight);
    AList.Add("PlatformDefault", &TSize::GetPlatformDefault, &TSize::SetPlatformDefault).WithDefault(false);
  }

private:
  float FWidth = 0, FHeight = 0;
  bool FPlatformDefault = false;
};
RTL_DEFINE_CLASS(TSize, "Test.Forms", &TSize::RegisterProperties)

class TEntry : public rtl::TCollectionItem {
  RTL_CLASS(TEntry, rtl::TCollectionItem)
public:
  std::string GetCaption() const { return FCaption; }
  void SetCaption(std::string AValue) { FCaption = std::move(AValue); }
  int32_t GetValue() const { return FValue; }
  void SetValue(int32_t AValue) { FValue = AValue; }
  static void RegisterProperties(rtl::TPropertyList& AList) {
    AList.Add("Caption", &TEntry::GetCaption, &TEntry::SetCaption);
    AList.Add("Value", &TEntry::GetValue, &TEntry::SetValue);
  }

private:
  std::string FCaption;
  int32_t FValue = 0;
};
RTL_DEFINE_CLASS(TEntry, "Test.Forms", &TEntry::RegisterProperties)

// A collection with a published property of its own.
class TEntries : public rtl::TOwnedCollection {
  RTL_CLASS(TEntries, rtl::TOwnedCollection)
public:
  explicit TEntries(rtl::TPersistent* AOwner) : TOwnedCollection(AOwner, TEntry::StaticClass()) {}
  bool GetDeclareAsArray() const { return FDeclareAsArray; }
  void SetDeclareAsArray(bool AValue) { FDeclareAsArray = AValue; }
  static void RegisterProperties(rtl::TPropertyList& AList) {
    AList.Add("DeclareAsArray", &TEntries::GetDeclareAsArray, &TEntries::SetDeclareAsArray)
        .WithDefault(false);
  }

private:
  bool FDeclareAsArray = false;
};
RTL_DEFINE_CLASS(TEntries, "Test.Forms", &TEntries::RegisterProperties)

// A property of every kind, children through SetParentComponent, and defined properties.
class TWidget : public rtl::TComponent {
  RTL_CLASS(TWidget, rtl::TComponent)
public:
  explicit TWidget(rtl::TComponent* AOwner)
      : TComponent(AOwner), FSize(rtl::New<TSize>()), FEntries(rtl::New<TEntries>(this)),
        FLines(rtl::New<rtl::TStringList>()) {}

  void BeforeDestruction() override {
    if (FParentWidget)
      std::erase(FParentWidget->FChildren, this);
    for (TWidget* child : FChildren)
      child->FParentWidget = nullptr;
    FChildren.clear();
    TComponent::BeforeDestruction();
  }

#define WIDGET_PROPERTY(TType, AName)                                                                        \
  TType Get##AName() const {                                                                                 \
    return F##AName;                                                                                         \
  }                                                                                                          \
  void Set##AName(TType AValue) {                                                                            \
    F##AName = AValue;                                                                                       \
  }                                                                                                          \
  TType F##AName{};
  WIDGET_PROPERTY(int32_t, Int)
  WIDGET_PROPERTY(int8_t, Tiny)
  WIDGET_PROPERTY(int64_t, Big)
  WIDGET_PROPERTY(float, Ratio)
  WIDGET_PROPERTY(double, Precise)
  WIDGET_PROPERTY(std::string, Text)
  WIDGET_PROPERTY(TAlignLayout, Align)
  WIDGET_PROPERTY(TDeviceKinds, Devices)
  WIDGET_PROPERTY(uint32_t, Color)
  WIDGET_PROPERTY(bool, Enabled)
#undef WIDGET_PROPERTY
  TWidget* GetBuddy() const {
    return FBuddy;
  }
  void SetBuddy(TWidget* AValue) {
    Log().push_back("Buddy " + Name() +
                    (ComponentState().Contains(rtl::TComponentStateItem::csLoading) ? " loading" : ""));
    FBuddy = AValue;
  }
  TSize* GetSize() const {
    return FSize.get();
  }
  void SetSize(TSize* AValue) {
    FSize->Assign(AValue);
  }
  TEntries* GetEntries() const {
    return FEntries.get();
  }
  rtl::TStringList* GetLines() const {
    return FLines.get();
  }
  const std::vector<TWidget*>& Children() const {
    return FChildren;
  }
  float PointX = 0, PointY = 0, PointZ = 0;

  static void RegisterProperties(rtl::TPropertyList& AList) {
    AList.Add("Int", &TWidget::GetInt, &TWidget::SetInt);
    AList.Add("Tiny", &TWidget::GetTiny, &TWidget::SetTiny).WithDefault(int8_t{0});
    AList.Add("Big", &TWidget::GetBig, &TWidget::SetBig).WithDefault(int64_t{0});
    AList.Add("Ratio", &TWidget::GetRatio, &TWidget::SetRatio);
    AList.Add("Precise", &TWidget::GetPrecise, &TWidget::SetPrecise);
    AList.Add("Text", &TWidget::GetText, &TWidget::SetText);
    AList.Add("Align", &TWidget::GetAlign, &TWidget::SetAlign).WithDefault(TAlignLayout::None);
    AList.Add("Devices", &TWidget::GetDevices, &TWidget::SetDevices);
    AList.Add("Color", &TWidget::GetColor, &TWidget::SetColor)
        .AsType(rtl::TypeInfoAlphaColor())
        .WithDefault(rtl::TValue::FromOrdinal(rtl::TypeInfoAlphaColor(), rtl::claNull));
    AList.Add("Enabled", &TWidget::GetEnabled, &TWidget::SetEnabled);
    AList.Add("Buddy", &TWidget::GetBuddy, &TWidget::SetBuddy).AsReference();
    AList.Add("Size", &TWidget::GetSize, &TWidget::SetSize);
    AList.Add("Entries", &TWidget::GetEntries);
    AList.Add("Lines", &TWidget::GetLines);
  }

  void DefineProperties(rtl::TFiler* AFiler) override {
    TComponent::DefineProperties(AFiler);
    AFiler->DefineProperty(
        "Point",
        [this](rtl::TReader& AReader) {
          AReader.ReadListBegin();
          PointX = AReader.ReadSingle();
          PointY = AReader.ReadSingle();
          PointZ = AReader.ReadSingle();
          AReader.ReadListEnd();
        },
        [this](rtl::TWriter& AWriter) {
          AWriter.WriteListBegin();
          for (float value : {PointX, PointY, PointZ})
            AWriter.WriteSingle(value);
          AWriter.WriteListEnd();
        },
        PointX != 0 || PointY != 0 || PointZ != 0);
    // Read for old streams and never written.
    AFiler->DefineProperty(
        "NearPlane", [](rtl::TReader& AReader) { AReader.ReadFloat(); }, nullptr, false);
  }

  rtl::TComponent* GetParentComponent() const override {
    return FParentWidget;
  }
  bool HasParent() const override {
    return true;
  }
  void SetParentComponent(rtl::TComponent* AParent) override {
    if (auto* parent = dynamic_cast<TWidget*>(AParent)) {
      FParentWidget = parent;
      parent->FChildren.push_back(this);
    }
  }
  void GetChildren(const TGetChildProc& AProc, rtl::TComponent* ARoot) override {
    TComponent::GetChildren(AProc, ARoot);
    for (TWidget* child : FChildren)
      AProc(child);
  }
  void Loaded() override {
    Log().push_back("Loaded " + Name());
    TComponent::Loaded();
  }

private:
  TWidget* FBuddy = nullptr;
  rtl::TOwned<TSize> FSize;
  rtl::TOwned<TEntries> FEntries;
  rtl::TOwned<rtl::TStringList> FLines;
  TWidget* FParentWidget = nullptr;
  std::vector<TWidget*> FChildren;
};
RTL_DEFINE_CLASS(TWidget, "Test.Forms", &TWidget::RegisterProperties)

// A component of another class, for references of the wrong class.
class TGadget : public rtl::TComponent {
  RTL_CLASS(TGadget, rtl::TComponent)
public:
  using TComponent::TComponent;
};
RTL_DEFINE_CLASS(TGadget, "Test.Forms")

// A root with no published fields.
class TPlainForm : public TWidget {
  RTL_CLASS(TPlainForm, TWidget)
public:
  using TWidget::TWidget;
};
RTL_DEFINE_CLASS(TPlainForm, "Test.Forms")

// A root with two published fields.
class TFieldForm : public TWidget {
  RTL_CLASS(TFieldForm, TWidget)
public:
  using TWidget::TWidget;
  TWidget* Panel1 = nullptr;
  TGadget* Gadget1 = nullptr;
  static void RegisterProperties(rtl::TPropertyList& AList) {
    AList.AddField("Panel1", &TFieldForm::Panel1);
    AList.AddField("Gadget1", &TFieldForm::Gadget1);
  }
};
RTL_DEFINE_CLASS(TFieldForm, "Test.Forms", &TFieldForm::RegisterProperties)

} // namespace formtest

void RegisterFieldFormResource();

namespace {

using namespace formtest;

class Filer : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    for (rtl::TClass* cls : Classes())
      rtl::RegisterClass(*cls);
  }
  static void TearDownTestSuite() {
    for (rtl::TClass* cls : Classes())
      rtl::UnRegisterClass(*cls);
  }
  static std::vector<rtl::TClass*> Classes() {
    return {&TWidget::StaticClass(), &TGadget::StaticClass(), &TPlainForm::StaticClass(),
            &TFieldForm::StaticClass()};
  }
  void SetUp() override { Log().clear(); }

  static rtl::TBytes Write(rtl::TComponent* ARoot) {
    rtl::TBytesStream stream;
    rtl::TWriter writer(stream);
    writer.WriteRootComponent(ARoot);
    return stream.Bytes();
  }
  static void Read(const rtl::TBytes& ABytes, rtl::TComponent* ARoot) {
    rtl::TBytesStream stream(ABytes);
    rtl::TReader reader(stream);
    reader.ReadRootComponent(ARoot);
  }
  // The bytes that follow the property name AName in AStream, up to the next ALength bytes.
  static std::vector<uint8_t> After(const rtl::TBytes& AStream, const std::string& AName, size_t ALength) {
    std::vector<uint8_t> key{static_cast<uint8_t>(AName.size())};
    key.insert(key.end(), AName.begin(), AName.end());
    auto found = std::search(AStream.begin(), AStream.end(), key.begin(), key.end());
    if (found == AStream.end())
      return {};
    found += static_cast<ptrdiff_t>(key.size());
    return {found, found + static_cast<ptrdiff_t>(std::min<size_t>(ALength, AStream.end() - found))};
  }
  // A form of the fixture class with every kind of property set and two children.
  static rtl::TOwned<TPlainForm> MakeFixture() {
    rtl::TOwned<TPlainForm> form(rtl::New<TPlainForm>(nullptr));
    form->SetName("Form1");
    form->SetInt(-70000);
    form->SetTiny(-5);
    form->SetBig(int64_t{1} << 40);
    form->SetRatio(0.1f);
    form->SetPrecise(1.0 / 3);
    form->SetText(std::string(300, 'a'));
    form->SetAlign(TAlignLayout::Client);
    form->SetDevices(TDeviceKinds{TDeviceKind::Desktop, TDeviceKind::Tablet});
    form->SetColor(rtl::claTomato);
    form->SetEnabled(true);
    form->GetSize()->SetWidth(640);
    form->GetSize()->SetHeight(480.5f);
    form->GetEntries()->SetDeclareAsArray(true);
    auto* entry = static_cast<TEntry*>(form->GetEntries()->Add());
    entry->SetCaption("first");
    entry->SetValue(7);
    form->GetEntries()->Add();
    form->GetLines()->Add("one");
    form->GetLines()->Add("");
    form->GetLines()->Add("é");
    form->SetDesignInfo(int64_t{20} << 32 | 10);
    form->PointX = 1;
    form->PointY = -2.5f;
    form->PointZ = 3;
    auto* panel = rtl::New<TWidget>(form.get());
    panel->SetName("Panel1");
    panel->SetParentComponent(form.get());
    auto* inner = rtl::New<TWidget>(form.get());
    inner->SetName("Inner1");
    inner->SetParentComponent(panel);
    inner->SetBuddy(panel);
    panel->SetBuddy(inner);
    return form;
  }
};

TEST_F(Filer, EveryKindOfPropertyRoundTripsThroughBinaryAndText) {
  auto source = MakeFixture();
  const rtl::TBytes bytes = Write(source.get());
  for (bool viaText : {false, true}) {
    SCOPED_TRACE(viaText ? "text" : "binary");
    rtl::TOwned<TPlainForm> copy(rtl::New<TPlainForm>(nullptr));
    if (viaText)
      rtl::ReadComponentFromText(rtl::WriteComponentToText(source.get()), copy.get());
    else
      Read(bytes, copy.get());
    EXPECT_EQ(copy->Name(), "Form1");
    EXPECT_EQ(copy->GetInt(), -70000);
    EXPECT_EQ(copy->GetTiny(), -5);
    EXPECT_EQ(copy->GetBig(), int64_t{1} << 40);
    EXPECT_EQ(copy->GetRatio(), 0.1f);
    EXPECT_EQ(copy->GetPrecise(), 1.0 / 3);
    EXPECT_EQ(copy->GetText(), std::string(300, 'a'));
    EXPECT_EQ(copy->GetAlign(), TAlignLayout::Client);
    EXPECT_EQ(copy->GetDevices(), (TDeviceKinds{TDeviceKind::Desktop, TDeviceKind::Tablet}));
    EXPECT_EQ(copy->GetColor(), rtl::claTomato);
    EXPECT_TRUE(copy->GetEnabled());
    EXPECT_EQ(copy->GetSize()->GetWidth(), 640);
    EXPECT_EQ(copy->GetSize()->GetHeight(), 480.5f);
    ASSERT_EQ(copy->GetEntries()->Count(), 2);
    EXPECT_TRUE(copy->GetEntries()->GetDeclareAsArray());
    EXPECT_EQ(static_cast<TEntry*>(copy->GetEntries()->Items(0))->GetCaption(), "first");
    EXPECT_EQ(static_cast<TEntry*>(copy->GetEntries()->Items(0))->GetValue(), 7);
    EXPECT_EQ(copy->GetLines()->GetText(), "one\r\n\r\né\r\n");
    EXPECT_EQ(copy->DesignInfo(), int64_t{20} << 32 | 10);
    EXPECT_EQ(copy->PointY, -2.5f);
    ASSERT_EQ(copy->ComponentCount(), 2);
    auto* panel = dynamic_cast<TWidget*>(copy->FindComponent("Panel1"));
    auto* inner = dynamic_cast<TWidget*>(copy->FindComponent("Inner1"));
    ASSERT_TRUE(panel && inner);
    EXPECT_EQ(panel->GetParentComponent(), copy.get());
    EXPECT_EQ(inner->GetParentComponent(), panel);
    EXPECT_EQ(panel->GetBuddy(), inner);
    EXPECT_EQ(inner->GetBuddy(), panel);
    EXPECT_FALSE(copy->ComponentState().Contains(rtl::TComponentStateItem::csLoading));
    EXPECT_FALSE(inner->ComponentState().Contains(rtl::TComponentStateItem::csReading));
    EXPECT_EQ(Write(copy.get()), bytes);
  }
}

TEST_F(Filer, WriterStoresValuesInTheirExactBytes) {
  struct TCase {
    const char* Name;
    std::function<void(TPlainForm&)> Set;
    const char* Property;
    std::vector<uint8_t> Bytes;
  };
  const std::vector<TCase> cases = {
      {"0", [](TPlainForm& F) { F.SetInt(0); }, "Int", {0x02, 0x00}},
      {"127", [](TPlainForm& F) { F.SetInt(127); }, "Int", {0x02, 0x7F}},
      {"128", [](TPlainForm& F) { F.SetInt(128); }, "Int", {0x03, 0x80, 0x00}},
      {"32768", [](TPlainForm& F) { F.SetInt(32768); }, "Int", {0x04, 0x00, 0x80, 0x00, 0x00}},
      {"0.1",
       [](TPlainForm& F) { F.SetPrecise(0.1); },
       "Precise",
       {0x05, 0xCD, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xFB, 0x3F}},
      {"0.1f",
       [](TPlainForm& F) { F.SetRatio(0.1f); },
       "Ratio",
       {0x05, 0xCD, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xFB, 0x3F}},
      {"-1.0",
       [](TPlainForm& F) { F.SetPrecise(-1); },
       "Precise",
       {0x05, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xBF}},
      {"10000.0",
       [](TPlainForm& F) { F.SetPrecise(10000); },
       "Precise",
       {0x05, 0, 0, 0, 0, 0, 0, 0x40, 0x9C, 0x0C, 0x40}},
      {"[Desktop]",
       [](TPlainForm& F) { F.SetDevices({TDeviceKind::Desktop}); },
       "Devices",
       {0x0B, 0x07, 'D', 'e', 's', 'k', 't', 'o', 'p', 0x00}},
      {"claBlack",
       [](TPlainForm& F) { F.SetColor(rtl::claBlack); },
       "Color",
       {0x07, 0x08, 'c', 'l', 'a', 'B', 'l', 'a', 'c', 'k'}},
      {"empty collection", [](TPlainForm&) {}, "Entries", {0x0E, 0x00}},
      {"é", [](TPlainForm& F) { F.SetText("é"); }, "Text", {0x14, 0x02, 0x00, 0x00, 0x00, 0xC3, 0xA9}},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    rtl::TOwned<TPlainForm> form(rtl::New<TPlainForm>(nullptr));
    test.Set(*form);
    EXPECT_EQ(After(Write(form.get()), test.Property, test.Bytes.size()), test.Bytes);
  }
}

TEST_F(Filer, WriterSkipsDefaultsButAlwaysWritesOrdinalsWithoutOne) {
  rtl::TOwned<TPlainForm> form(rtl::New<TPlainForm>(nullptr));
  const std::string text = rtl::WriteComponentToText(form.get());
  EXPECT_NE(text.find("  Int = 0\n"), std::string::npos);
  EXPECT_NE(text.find("  Enabled = False\n"), std::string::npos);
  EXPECT_NE(text.find("  Devices = []\n"), std::string::npos);
  EXPECT_NE(text.find("  Entries = <>\n"), std::string::npos);
  for (const char* absent :
       {"Tiny", "Ratio", "Text", "Align", "Color", "Buddy", "Size.", "Lines", "Point", "NearPlane", "Left"})
    EXPECT_EQ(text.find(absent), std::string::npos) << absent;
}

TEST_F(Filer, TextCasesConvertToTheirBinaryAndBackToCanonicalText) {
  struct TCase {
    const char* Value;
    std::vector<uint8_t> Bytes;
    const char* Canonical;
  };
  const std::vector<TCase> cases = {
      {"'It''s'", {0x06, 4, 'I', 't', '\'', 's'}, "'It''s'"},
      {"'a'#9'b'", {0x06, 3, 'a', 9, 'b'}, "'a'#9'b'"},
      {"'x' +\n    'y'", {0x06, 2, 'x', 'y'}, "'xy'"},
      {"$10", {0x02, 0x10}, "16"},
      {"-5", {0x02, 0xFB}, "-5"},
      {"100.0", {0x05, 0, 0, 0, 0, 0, 0, 0, 0xC8, 0x05, 0x40}, "100.0"},
      {"4.5E-7", {}, "4.5E-7"},
      {"2.542E25", {}, "2.542E25"},
      {"1.5S", {0x0F, 0x00, 0x00, 0xC0, 0x3F}, "1.5S"},
      {"12.25C", {0x10, 0x84, 0xDE, 0x01, 0, 0, 0, 0, 0}, "12.25C"},
      {"[]", {0x0B, 0x00}, "[]"},
      {"[Desktop, Phone]", {}, "[Desktop, Phone]"},
      {"(\n    1\n    'a')", {0x01, 0x02, 0x01, 0x06, 0x01, 'a', 0x00}, "(\n    1\n    'a')"},
      {"<\n    item\n      Value = 1\n    end\n    item\n    end>",
       {},
       "<\n    item\n      Value = 1\n    end\n    item\n    end>"},
      {"{\n    0A1b}", {0x0A, 2, 0, 0, 0, 0x0A, 0x1B}, "{\n    0A1B}"},
      {"claTomato", {0x07, 9, 'c', 'l', 'a', 'T', 'o', 'm', 'a', 't', 'o'}, "claTomato"},
      {"nil", {0x0D}, "nil"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Value);
    const std::string text = std::string("object A: TPlainForm\n  P = ") + test.Value + "\nend\n";
    const rtl::TBytes binary = rtl::ObjectTextToBinary(text);
    if (!test.Bytes.empty())
      EXPECT_EQ(After(binary, "P", test.Bytes.size()), test.Bytes);
    const std::string canonical = std::string("object A: TPlainForm\n  P = ") + test.Canonical + "\nend\n";
    EXPECT_EQ(rtl::ObjectBinaryToText(binary), canonical);
    EXPECT_EQ(rtl::ObjectTextToBinary(canonical), binary);
  }
  std::string crlf = "object A: TPlainForm\r\n  P = 1\r\n  object B: TWidget\r\n  end\r\nend\r\n";
  EXPECT_EQ(rtl::ObjectBinaryToText(rtl::ObjectTextToBinary(crlf)),
            "object A: TPlainForm\n  P = 1\n  object B: TWidget\n  end\nend\n");
  const std::string prefixed = "inherited A: TPlainForm [3]\n  inline TWidget\n  end\nend\n";
  EXPECT_EQ(rtl::ObjectBinaryToText(rtl::ObjectTextToBinary(prefixed)), prefixed);
}

TEST_F(Filer, FixtureFormConvertsBothWaysByteForByte) {
  auto form = MakeFixture();
  const rtl::TBytes binary = Write(form.get());
  const std::string text = rtl::ObjectBinaryToText(binary);
  EXPECT_EQ(rtl::ObjectTextToBinary(text), binary);
  EXPECT_EQ(rtl::ObjectBinaryToText(rtl::ObjectTextToBinary(text)), text);
  EXPECT_NE(text.find("  Ratio = 0.1\n"), std::string::npos);
  EXPECT_NE(text.find("  Color = claTomato\n"), std::string::npos);
  EXPECT_NE(text.find("  Lines.Strings = (\n    'one'\n    ''\n    'é')\n"), std::string::npos);
  EXPECT_NE(text.find("  Entries.DeclareAsArray = True\n  Entries = <"), std::string::npos);
}

TEST_F(Filer, FloatTextIsShortestAndSwitchesToExponentOutsideThePlainRange) {
  struct TCase {
    long double Value;
    const char* Text;
  };
  const TCase cases[] = {
      {0.1L, "0.1"},     {100, "100.0"},     {-5, "-5.0"}, {4.5e-7L, "4.5E-7"},      {2.542e25L, "2.542E25"},
      {1e15L, "1.0E15"}, {1e-5L, "0.00001"}, {0, "0.0"},   {123456.75L, "123456.75"}};
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Text);
    EXPECT_EQ(rtl::FloatToFormText(test.Value), test.Text);
  }
}

struct TErrorCase {
  const char* Name;
  const char* Text;
  std::vector<const char*> Parts;
};

TEST_F(Filer, BadFormsRaiseReadErrorsNamingWhatAndWhere) {
  const std::vector<TErrorCase> cases = {
      {"unknown property",
       "object F: TPlainForm\n  object W: TWidget\n    Fogg = 1\n  end\nend\n",
       {"W.Fogg", "TWidget", "3:5"}},
      {"enum name", "object F: TPlainForm\n  Align = Sideways\nend\n", {"F.Align", "Sideways", "2:3"}},
      {"range", "object F: TPlainForm\n  Tiny = 300\nend\n", {"F.Tiny", "300", "2:3"}},
      {"kind", "object F: TPlainForm\n  Int = 'x'\nend\n", {"F.Int", "Integer", "String", "2:3"}},
      {"unresolved", "object F: TPlainForm\n  Buddy = Nobody\nend\n", {"F.Buddy", "Nobody", "2:3"}},
      {"wrong class",
       "object F: TPlainForm\n  Buddy = G\n  object G: TGadget\n  end\nend\n",
       {"F.Buddy", "TGadget", "2:3"}},
      {"other form", "object F: TPlainForm\n  Buddy = Form2.W\nend\n", {"other forms", "Form2.W"}},
      {"event",
       "object F: TPlainForm\n  OnClick = Button1Click\nend\n",
       {"event handlers in forms are not supported", "F.OnClick"}},
      {"colour", "object F: TPlainForm\n  Color = claNoSuch\nend\n", {"claNoSuch", "F.Color"}},
      {"float range", "object F: TPlainForm\n  Ratio = 1.0E300\nend\n", {"F.Ratio", "out of range"}},
      {"root class", "object F: TWidget\nend\n", {"TWidget", "TPlainForm"}},
      {"set element", "object F: TPlainForm\n  Devices = [Desktop, Watch]\nend\n", {"Watch", "F.Devices"}},
      {"nested object", "object F: TPlainForm\n  Size = 1\nend\n", {"F.Size"}},
  };
  for (const TErrorCase& test : cases) {
    SCOPED_TRACE(test.Name);
    rtl::TOwned<TPlainForm> form(rtl::New<TPlainForm>(nullptr));
    try {
      rtl::ReadComponentFromText(test.Text, form.get());
      ADD_FAILURE() << "no error";
    } catch (const rtl::EReadError& E) {
      for (const char* part : test.Parts)
        EXPECT_NE(E.Message().find(part), std::string::npos) << E.Message() << " lacks " << part;
    }
    EXPECT_EQ(form->ComponentCount(), 0);
  }
}

TEST_F(Filer, UnknownClassesSyntaxErrorsAndTrailingBytesAreReported) {
  rtl::TOwned<TPlainForm> form(rtl::New<TPlainForm>(nullptr));
  try {
    rtl::ReadComponentFromText("object F: TPlainForm\n  object X: TNoSuch\n  end\nend\n", form.get(),
                               "Unit1.form");
    ADD_FAILURE();
  } catch (const rtl::EClassNotFound& E) {
    EXPECT_NE(E.Message().find("TNoSuch"), std::string::npos);
    EXPECT_NE(E.Message().find("Unit1.form:2:3"), std::string::npos) << E.Message();
  }
  try {
    rtl::ReadComponentFromText("object F: TPlainForm\n  Int = = 1\nend\n", form.get(), "Unit1.form");
    ADD_FAILURE();
  } catch (const rtl::EParserError& E) {
    EXPECT_EQ(E.Message(), "Unit1.form:2:9: Value expected, '=' found");
  }
  // A class name's length byte of 0xF0 or more would read as a record prefix.
  EXPECT_THROW(rtl::ObjectTextToBinary("object A: T" + std::string(239, 'x') + "\nend\n"), rtl::EParserError);
  EXPECT_NO_THROW(rtl::ObjectTextToBinary("object A: T" + std::string(238, 'x') + "\nend\n"));
  rtl::TBytes bytes = Write(form.get());
  bytes.push_back(0);
  try {
    Read(bytes, form.get());
    ADD_FAILURE();
  } catch (const rtl::EReadError& E) {
    EXPECT_NE(E.Message().find("1 bytes after the root"), std::string::npos) << E.Message();
  }
  EXPECT_THROW(Read(rtl::TBytes{'T', 'P', 'F', '1'}, form.get()), rtl::EReadError);
}

TEST_F(Filer, HostileLengthsAndDeepNestingFailWithoutAllocatingOrOverflowing) {
  // A long string claiming 0x7FFFFFFF bytes with ten left.
  rtl::TBytes bytes{'T', 'P', 'F', '0', 10,  'T', 'P', 'l', 'a',  'i',  'n',  'F',  'o',
                    'r', 'm', 0,   4,   'T', 'e', 'x', 't', 0x0C, 0xFF, 0xFF, 0xFF, 0x7F};
  bytes.insert(bytes.end(), 10, 'a');
  rtl::TOwned<TPlainForm> form(rtl::New<TPlainForm>(nullptr));
  EXPECT_THROW(Read(bytes, form.get()), rtl::EReadError);
  EXPECT_THROW(rtl::ObjectBinaryToText(bytes), rtl::EReadError);

  std::string deep;
  for (int i = 0; i < 10000; ++i)
    deep += "object TWidget\n";
  EXPECT_THROW(rtl::ObjectTextToBinary(deep), rtl::EParserError);
  rtl::TBytes nested{'T', 'P', 'F', '0'};
  for (int i = 0; i < 10000; ++i)
    nested.insert(nested.end(), {7, 'T', 'W', 'i', 'd', 'g', 'e', 't', 0, 0});
  EXPECT_THROW(rtl::ObjectBinaryToText(nested), rtl::EReadError);
  EXPECT_THROW(Read(nested, form.get()), rtl::EReadError);
  rtl::TBytes lists{'T', 'P', 'F', '0', 10, 'T', 'P', 'l', 'a', 'i', 'n', 'F', 'o', 'r', 'm', 0, 1, 'P'};
  lists.insert(lists.end(), 10000, 0x01);
  EXPECT_THROW(rtl::ObjectBinaryToText(lists), rtl::EReadError);
}

TEST_F(Filer, EveryPrefixOfAFormFailsCleanly) {
  auto source = MakeFixture();
  const rtl::TBytes bytes = Write(source.get());
  for (size_t length = 0; length < bytes.size(); ++length) {
    SCOPED_TRACE(length);
    const rtl::TBytes prefix(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(length));
    EXPECT_THROW(rtl::ObjectBinaryToText(prefix), rtl::EReadError);
    rtl::TOwned<TPlainForm> form(rtl::New<TPlainForm>(nullptr));
    EXPECT_THROW(Read(prefix, form.get()), rtl::EReadError);
    EXPECT_EQ(form->ComponentCount(), 0);
  }
}

TEST_F(Filer, AFailureInTheFifthComponentFreesWhatItMadeAndClearsFields) {
  std::string text = "object F: TFieldForm\n"
                     "  object Panel1: TWidget\n  end\n"
                     "  object A: TWidget\n  end\n"
                     "  object B: TWidget\n  end\n"
                     "  object Gadget1: TGadget\n  end\n"
                     "  object E: TWidget\n    Int = 'bad'\n  end\n"
                     "end\n";
  rtl::TOwned<TFieldForm> form(rtl::New<TFieldForm>(nullptr));
  EXPECT_THROW(rtl::ReadComponentFromText(text, form.get()), rtl::EReadError);
  EXPECT_EQ(form->ComponentCount(), 0);
  EXPECT_EQ(form->Panel1, nullptr);
  EXPECT_EQ(form->Gadget1, nullptr);
  EXPECT_FALSE(form->ComponentState().Contains(rtl::TComponentStateItem::csLoading));

  text.replace(text.find("'bad'"), 5, "5");
  rtl::ReadComponentFromText(text, form.get());
  ASSERT_NE(form->Panel1, nullptr);
  EXPECT_EQ(form->Gadget1, form->FindComponent("Gadget1"));
  form->Panel1->Free();
  EXPECT_EQ(form->Panel1, nullptr);
}

TEST_F(Filer, PublishedFieldsMustFindTheirComponentOfTheirClass) {
  const TErrorCase cases[] = {
      {"missing", "object F: TFieldForm\n  object Panel1: TWidget\n  end\nend\n", {"Gadget1", "TFieldForm"}},
      {"wrong class",
       "object F: TFieldForm\n  object Panel1: TWidget\n  end\n  object Gadget1: TWidget\n  end\nend\n",
       {"Gadget1", "TGadget", "TWidget", "4:3"}},
  };
  for (const TErrorCase& test : cases) {
    SCOPED_TRACE(test.Name);
    rtl::TOwned<TFieldForm> form(rtl::New<TFieldForm>(nullptr));
    try {
      rtl::ReadComponentFromText(test.Text, form.get());
      ADD_FAILURE();
    } catch (const rtl::EReadError& E) {
      for (const char* part : test.Parts)
        EXPECT_NE(E.Message().find(part), std::string::npos) << E.Message() << " lacks " << part;
    }
    EXPECT_EQ(form->Panel1, nullptr);
  }
}

TEST_F(Filer, ReferencesResolveBeforeLoadedWhichRunsInCreationOrder) {
  const char* text = "object F: TPlainForm\n"
                     "  object A: TWidget\n"
                     "    Buddy = B\n" // forward
                     "  end\n"
                     "  object B: TWidget\n"
                     "    Buddy = A\n" // backward
                     "    object C: TWidget\n"
                     "      Buddy = F\n"
                     "    end\n"
                     "  end\n"
                     "end\n";
  rtl::TOwned<TPlainForm> form(rtl::New<TPlainForm>(nullptr));
  rtl::ReadComponentFromText(text, form.get());
  const std::vector<std::string> expected{"Buddy A loading", "Buddy B loading", "Buddy C loading", "Loaded F",
                                          "Loaded A",        "Loaded B",        "Loaded C"};
  EXPECT_EQ(Log(), expected);
  auto* a = static_cast<TWidget*>(form->FindComponent("A"));
  auto* b = static_cast<TWidget*>(form->FindComponent("B"));
  EXPECT_EQ(a->GetBuddy(), b);
  EXPECT_EQ(b->GetBuddy(), a);
  EXPECT_EQ(static_cast<TWidget*>(form->FindComponent("C"))->GetBuddy(), form.get());
}

TEST_F(Filer, DefinedPropertiesAreReadAndReadOnlyOnesNeverWritten) {
  rtl::TOwned<TPlainForm> form(rtl::New<TPlainForm>(nullptr));
  rtl::ReadComponentFromText("object F: TPlainForm\n  NearPlane = 0.5\n  Point = (\n    1\n    2.5\n    3)\n"
                             "  Left = 7\n  Top = -3\nend\n",
                             form.get());
  EXPECT_EQ(form->PointY, 2.5f);
  EXPECT_EQ(form->DesignInfo(), static_cast<int64_t>(uint64_t{0xFFFFFFFD} << 32 | 7));
  const std::string text = rtl::WriteComponentToText(form.get());
  EXPECT_EQ(text.find("NearPlane"), std::string::npos);
  EXPECT_NE(text.find("  Left = 7\n  Top = -3\n"), std::string::npos) << text;
  EXPECT_THROW(rtl::ReadComponentFromText("object F: TPlainForm\n  Point = (\n    1\n    'x'\n    3)\nend\n",
                                          form.get()),
               rtl::EReadError);
}

TEST_F(Filer, WritingANonFiniteFloatFails) {
  rtl::TOwned<TPlainForm> form(rtl::New<TPlainForm>(nullptr));
  form->SetPrecise(std::nan(""));
  EXPECT_THROW(Write(form.get()), rtl::EWriteError);
}

TEST_F(Filer, AFormEmbeddedAtBuildTimeLoadsAndWritesBackItsOwnText) {
  RegisterFieldFormResource();
  rtl::TOwned<TFieldForm> form(rtl::New<TFieldForm>(nullptr));
  {
    rtl::TResourceStream stream("TFIELDFORM");
    rtl::TReader reader(stream);
    reader.ReadRootComponent(form.get());
  }
  rtl::UnRegisterResource("TFIELDFORM");
  ASSERT_NE(form->Panel1, nullptr);
  EXPECT_EQ(form->Panel1->GetText(), "Panel\tone");
  EXPECT_EQ(form->Panel1->GetBuddy(), form.get());
  EXPECT_EQ(form->GetColor(), 0x003333FFu);
  ASSERT_NE(form->Gadget1, nullptr);
  const std::string text =
      rtl::TFile::ReadAllText(VANTREL_SOURCE_ROOT "tests/platform/rtl/data/FieldForm.form");
  EXPECT_EQ(rtl::WriteComponentToText(form.get()), text);
}

TEST(ColorIdents, NamesAndHexFormsConvertBothWays) {
  struct TCase {
    const char* Ident;
    rtl::TAlphaColor Color;
    const char* Written;
  };
  const TCase cases[] = {
      {"claTomato", 0xFFFF6347, "claTomato"},       {"claNull", 0, "claNull"},
      {"x003333FF", 0x003333FF, "x003333FF"},       {"CLATOMATO", 0xFFFF6347, "claTomato"},
      {"claCyan", 0xFF00FFFF, "claAqua"},           {"claGray", 0xFF808080, "claGray"},
      {"claAliceblue", 0xFFF0F8FF, "claAliceblue"}, {"xffbfbfbf", 0xFFBFBFBF, "xFFBFBFBF"}};
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Ident);
    rtl::TAlphaColor color = 1;
    ASSERT_TRUE(rtl::IdentToAlphaColor(test.Ident, color));
    EXPECT_EQ(color, test.Color);
    EXPECT_EQ(rtl::AlphaColorToIdent(color), test.Written);
  }
  rtl::TAlphaColor color = 0;
  for (const char* bad : {"claNoSuch", "x12345", "x1234567G", ""})
    EXPECT_FALSE(rtl::IdentToAlphaColor(bad, color)) << bad;
}

TEST(Resources, RegisteredBytesAreReadBackAndMissingOnesNamed) {
  static const uint8_t data[] = {1, 2, 3};
  rtl::RegisterResource("TFORM1", data, sizeof(data));
  {
    rtl::TResourceStream stream("tform1");
    EXPECT_EQ(stream.GetSize(), 3);
    EXPECT_EQ(stream.ReadData<uint8_t>(), 1);
    EXPECT_THROW(stream.WriteData<uint8_t>(1), rtl::EStreamError);
  }
  rtl::UnRegisterResource("TFORM1");
  try {
    rtl::TResourceStream stream("TFORMX");
    ADD_FAILURE();
  } catch (const rtl::EResNotFound& E) {
    EXPECT_EQ(E.Message(), "resource TFORMX not found");
  }
}

} // namespace
