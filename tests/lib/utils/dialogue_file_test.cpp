#include <gtest/gtest.h>

#include <string>

#include "rtl/streams.h"
#include "utils/Vantrel.Utils.Dialogue.Reader.h"
#include "utils/Vantrel.Utils.Dialogue.System.h"
#include "utils/Vantrel.Utils.Dialogue.Writer.h"
#include "xml/Vantrel.Xml.Document.h"

using namespace vantrel;

namespace {

const char* const GoldenFile =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<dialogues id=\"Dlg\" default-lang=\"de-de\">\r\n"
    "\t<dialogue id=\"d1\" position=\"0;0\">\r\n"
    "\t\t<characters>\r\n"
    "\t\t\t<character id=\"c1\" position=\"12.5;-3\" name=\"Anna\" />\r\n"
    "\t\t</characters>\r\n"
    "\t\t<items>\r\n"
    "\t\t\t<item id=\"q1\" kind=\"question\" position=\"0;0\" character=\"c1\" display-time=\"2000\">\r\n"
    "\t\t\t\t<text type=\"multilingual\">\r\n"
    "\t\t\t\t\t<lang id=\"en-us\">\r\n"
    "\t\t\t\t\t\t<![CDATA[Hello?]]>\r\n"
    "\t\t\t\t\t</lang>\r\n"
    "\t\t\t\t</text>\r\n"
    "\t\t\t\t<items>\r\n"
    "\t\t\t\t\t<item id=\"a1\" kind=\"answer\" position=\"0;0\">\r\n"
    "\t\t\t\t\t\t<params>\r\n"
    "\t\t\t\t\t\t\t<param name=\"gold\">5</param>\r\n"
    "\t\t\t\t\t\t</params>\r\n"
    "\t\t\t\t\t\t<events>\r\n"
    "\t\t\t\t\t\t\t<event id=\"e1\" kind=\"method\" position=\"0;0\" trigger=\"onEnd\" scope=\"self\" "
    "iterations=\"3\">\r\n"
    "\t\t\t\t\t\t\t\t<data type=\"multilingual\">\r\n"
    "\t\t\t\t\t\t\t\t\t<lang id=\"en-us\">\r\n"
    "\t\t\t\t\t\t\t\t\t\t<![CDATA[Pay]]>\r\n"
    "\t\t\t\t\t\t\t\t\t</lang>\r\n"
    "\t\t\t\t\t\t\t\t</data>\r\n"
    "\t\t\t\t\t\t\t</event>\r\n"
    "\t\t\t\t\t\t</events>\r\n"
    "\t\t\t\t\t</item>\r\n"
    "\t\t\t\t</items>\r\n"
    "\t\t\t</item>\r\n"
    "\t\t</items>\r\n"
    "\t</dialogue>\r\n"
    "</dialogues>\r\n";

template <class T> T* AddTo(rtl::TCollection* ACollection, const std::string& AId) {
  auto* entry = static_cast<T*>(ACollection->Add());
  entry->SetIdent(AId);
  return entry;
}

rtl::TOwned<TVantrelDialogueSystem> GoldenSystem() {
  auto system = rtl::MakeOwned<TVantrelDialogueSystem>(nullptr);
  system->SetId("Dlg");
  system->SetLanguage(2);
  auto* dialogue = AddTo<TVantrelDialogue>(system->GetDialogues(), "d1");
  auto* anna = AddTo<TVantrelDialogueCharacter>(dialogue->GetCharacters(), "c1");
  anna->SetName("Anna");
  anna->SetPosition({12.5f, -3});
  auto* question = AddTo<TVantrelDialogueItem>(dialogue->GetItems(), "q1");
  question->SetKind(TVantrelDialogueItemKind::Question);
  question->SetCharacter("c1");
  question->SetDisplayTime(2000);
  question->Text().Add("en-us", "Hello?");
  auto* answer = AddTo<TVantrelDialogueItem>(question->GetItems(), "a1");
  answer->SetKind(TVantrelDialogueItemKind::Answer);
  answer->AddParameter("gold", rtl::TValue::From(5));
  auto* event = AddTo<TVantrelDialogueItemEvent>(answer->GetEvents(), "e1");
  event->SetKind(TVantrelDialogueEventKind::Method);
  event->SetTrigger(TVantrelDialogueEventTrigger::OnEnd);
  event->SetScope("self");
  event->SetIterations(3);
  event->Data().Add("en-us", "Pay");
  return system;
}

std::string Saved(const TVantrelDialogueSystem& ASystem) {
  rtl::TStringStream stream;
  ASystem.SaveToStream(&stream);
  return stream.DataString();
}

rtl::TOwned<TVantrelDialogueSystem> Read(const std::string& AText) {
  rtl::TStringStream stream(AText);
  return TVantrelDialogueReader().LoadFromStream(&stream);
}

// A file with one dialogue "d" holding AItems.
std::string File(const std::string& AItems) {
  return "<?xml version=\"1.0\"?><dialogues id=\"x\"><dialogue id=\"d\"><items>" + AItems +
         "</items></dialogue></dialogues>";
}

TVantrelDialogueItem* FirstItem(const TVantrelDialogueSystem& ASystem) {
  return ASystem.GetDialogues()->Dialogue(0)->GetItems()->Item(0);
}

} // namespace

TEST(DialogueFileTest, GoldenFileIsWrittenExactlyAndReadsBack) {
  auto system = GoldenSystem();
  ASSERT_EQ(Saved(*system), GoldenFile);
  auto read = Read(GoldenFile);
  EXPECT_EQ(read->GetId(), "Dlg");
  EXPECT_EQ(read->GetLanguage(), 2);
  TVantrelDialogue* dialogue = read->FindDialogue("d1");
  ASSERT_NE(dialogue, nullptr);
  TVantrelDialogueItem* question = dialogue->FindItem("q1");
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(question->GetKind(), TVantrelDialogueItemKind::Question);
  EXPECT_EQ(question->GetDisplayTime(), 2000);
  EXPECT_EQ(question->GetCharacterRef(), dialogue->FindCharacterById("c1"));
  EXPECT_EQ(question->GetDisplayName(), "Anna");
  EXPECT_EQ(question->Text().Items("en-us"), "Hello?");
  EXPECT_EQ(dialogue->FindCharacterById("c1")->GetPosition(), (rtl::TPointF{12.5f, -3}));
  TVantrelDialogueItem* answer = dialogue->FindItem("a1");
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer->GetKind(), TVantrelDialogueItemKind::Answer);
  EXPECT_EQ(answer->GetParameter("gold").AsInteger(), 5);
  TVantrelDialogueItemEvent* event = answer->FindEventById("e1");
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->GetKind(), TVantrelDialogueEventKind::Method);
  EXPECT_EQ(event->GetTrigger(), TVantrelDialogueEventTrigger::OnEnd);
  EXPECT_EQ(event->GetScope(), "self");
  EXPECT_EQ(event->GetIterations(), 3);
  EXPECT_EQ(event->Data().Items("en-us"), "Pay");
  EXPECT_EQ(Saved(*read), GoldenFile);
}

TEST(DialogueFileTest, ReaderTable) {
  auto read = Read(File("<item id=\"a\" enabled=\"FALSE\"/><item id=\"b\" enabled=\"no\"/>"
                        "<item id=\"c\" enabled=\"0\"/><item id=\"d\"/><item id=\"e\" enabled=\"TRUE\"/>"));
  const auto* items = read->GetDialogues()->Dialogue(0)->GetItems();
  for (int i = 0; i < items->Count(); ++i) {
    SCOPED_TRACE(items->Item(i)->GetIdent());
    EXPECT_EQ(items->Item(i)->GetEnabled(), i >= 3);
    EXPECT_EQ(items->Item(i)->GetKind(), TVantrelDialogueItemKind::None);
  }

  auto flow =
      Read(File("<item id=\"f\" kind=\"Flow\" ref=\"x\" position=\"0.5;0.25\">"
                "<events><event id=\"e\"/></events></item>"
                "<item id=\"r\" kind=\"reference\" ref=\" x \" position=\"1;2;3\" display-time=\"1.5\"/>"));
  TVantrelDialogueItem* f = FirstItem(*flow);
  EXPECT_EQ(f->GetKind(), TVantrelDialogueItemKind::Flow);
  EXPECT_EQ(f->GetReference(), "");
  EXPECT_EQ(f->GetPosition(), (rtl::TPointF{0.5f, 0.25f}));
  EXPECT_EQ(f->GetEvents()->Event(0)->GetTrigger(), TVantrelDialogueEventTrigger::Undefined);
  EXPECT_EQ(f->GetEvents()->Event(0)->GetKind(), TVantrelDialogueEventKind::Misc);
  TVantrelDialogueItem* r = flow->GetDialogues()->Dialogue(0)->FindItem("r");
  EXPECT_EQ(r->GetReference(), "x");
  EXPECT_EQ(r->GetPosition(), (rtl::TPointF{0, 0}));
  EXPECT_EQ(r->GetDisplayTime(), 0);

  auto typed = Read(File("<item id=\"p\"><params><param name=\"i\">5</param><param name=\"d\">2.5</param>"
                         "<param name=\"b\">true</param><param name=\"e\"></param></params>"
                         "<text id=\"de-de\">Hallo</text><unknown/></item>"));
  TVantrelDialogueItem* p = FirstItem(*typed);
  EXPECT_EQ(p->GetParameter("i").Kind(), rtl::TTypeKind::tkInteger);
  EXPECT_EQ(p->GetParameter("d").Kind(), rtl::TTypeKind::tkFloat);
  EXPECT_EQ(p->GetParameter("b").Kind(), rtl::TTypeKind::tkBoolean);
  EXPECT_TRUE(p->Parameters().ContainsKey("e"));
  EXPECT_TRUE(p->GetParameter("e").IsEmpty());
  EXPECT_EQ(p->Text().Count(), 1);
  EXPECT_EQ(p->Text().Items("de-de"), "Hallo");
}

TEST(DialogueFileTest, StructureErrors) {
  const std::pair<std::string, std::string> cases[] = {
      {"<dialogues id=\"x\"><dialogue id=\"d\"/></dialogues>",
       "invalid xml structure - \"dialogues\" tag expected"},
      {"<?xml version=\"1.0\"?><other/>", "invalid xml structure - \"dialogues\" tag expected"},
      {"<?xml version=\"1.0\"?><dialogues id=\"x\"/>",
       "invalid xml structure - no child nodes inside of \"dialogues\" tag"}};
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text);
    try {
      Read(text);
      ADD_FAILURE();
    } catch (const EVantrelDialogueReaderException& e) {
      EXPECT_EQ(e.Message(), message);
    }
  }
  EXPECT_THROW(Read("<?xml version=\"1.0\"?><dialogues><dialogue>"), EMz_XmlParseError);
}

TEST(DialogueFileTest, LoadingAppendsDialoguesAndTakesTheFilesIdAndLanguage) {
  auto system = rtl::MakeOwned<TVantrelDialogueSystem>(nullptr);
  system->SetId("mine");
  for (int i = 1; i <= 2; ++i) {
    rtl::TStringStream stream(GoldenFile);
    system->LoadFromStream(&stream);
    EXPECT_EQ(system->GetDialogues()->Count(), i);
  }
  EXPECT_EQ(system->GetId(), "Dlg");
  EXPECT_EQ(system->GetLanguage(), 2);
}

TEST(DialogueFileTest, MapTextsRoundTrip) {
  auto system = GoldenSystem();
  TVantrelDialogueItem* question = system->GetDialogues()->Dialogue(0)->FindItem("q1");
  question->Text().Add("de-de", "Hallo \"du\"\nda?");
  question->AddParameter("ratio", rtl::TValue::From(2.5));
  TVantrelLanguageMap texts;
  DialogueTextsFromJSON(DialogueTextsToJSON(question->Text()), texts);
  EXPECT_EQ(texts.Items("de-de"), "Hallo \"du\"\nda?");
  EXPECT_EQ(texts.Count(), 2);
  TVantrelParametersMap parameters;
  DialogueParametersFromJSON(DialogueParametersToJSON(question->Parameters()), parameters);
  EXPECT_EQ(parameters.Items("ratio").AsDouble(), 2.5);
  TVantrelLanguageMap data;
  TVantrelDialogueItemEvent* event = system->GetDialogues()->Dialogue(0)->FindItem("a1")->FindEventById("e1");
  DialogueTextsFromJSON(DialogueTextsToJSON(event->Data()), data);
  EXPECT_EQ(data.Items("en-us"), "Pay");
  DialogueTextsFromJSON("[1,2]", data);
  EXPECT_TRUE(data.IsEmpty());
  parameters.Add("old", rtl::TValue::From(1));
  DialogueParametersFromJSON("not json", parameters);
  EXPECT_TRUE(parameters.IsEmpty());
}
