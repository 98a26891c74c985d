#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "rtl/date_time.h"
#include "rtl/json_pool.h"
#include "rtl/streams.h"
#include "rtl/types2d.h"
#include "utils/Vantrel.Utils.Language.h"
#include "xml/Vantrel.Xml.Document.h"

using namespace vantrel;

namespace {

class XmlNode : public ::testing::Test {
protected:
  TMz_XmlDocument FDocument;
  TOwned<TMz_XmlElement> FElement{TMz_XmlElement::Create(&FDocument, nullptr, "", "e")};
};

std::string KindOf(const TValue& AValue) {
  return AValue.IsEmpty() ? "empty" : std::string(AValue.TypeName());
}

} // namespace

TEST_F(XmlNode, TypesAndNormalisesText) {
  struct TCase {
    const char* Text;
    const char* Kind;
    const char* Rendered;
  } cases[] = {
      {"", "empty", ""},
      {"12", "Integer", "12"},
      {"+7", "Integer", "7"},
      {"-3", "Integer", "-3"},
      {"007", "Integer", "7"},
      {"0x1F", "Integer", "31"},
      {"1.5", "Double", "1.5"},
      {"1.50", "Double", "1.5"},
      {"-.5", "Double", "-0.5"},
      {"1.2.3", "string", "1.2.3"},
      {"1e5", "string", "1e5"},
      {"99999999999", "string", "99999999999"},
      {"$1F", "string", "$1F"},
      {"true", "Boolean", "True"},
      {"FALSE", "Boolean", "False"},
      {"Tx", "string", "Tx"},
      {"yes", "string", "yes"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Text);
    EXPECT_EQ(KindOf(FDocument.StringToValue(test.Text)), test.Kind);
    FElement->setAttributeRaw("a", test.Text);
    EXPECT_EQ(FElement->getAttribute("a"), test.Rendered);
  }
  EXPECT_EQ(FElement->getAttribute("missing"), "");
}

TEST_F(XmlNode, TypedWritesStoreTheirText) {
  FElement->setAttribute("s", "1.50");
  EXPECT_EQ(FElement->getAttributeRaw("s"), "1.5");
  FElement->setAttributeRaw("r", "1.50");
  EXPECT_EQ(FElement->getAttributeRaw("r"), "1.50");
  FElement->addAttribute("t", "1.50");
  EXPECT_EQ(FElement->getAttributeRaw("t"), "1.50");
  FElement->addAttribute("b", true);
  EXPECT_EQ(FElement->getAttributeRaw("b"), "True");
  FElement->addAttribute("i", 42);
  EXPECT_EQ(FElement->getAttributeRaw("i"), "42");
  FElement->addAttribute("f", 0.1f);
  EXPECT_EQ(FElement->getAttributeRaw("f"), "0.100000001490116");
  FElement->addAttribute("p", TValue::From(TPointF{1, 2}));
  EXPECT_EQ(FElement->getAttributeRaw("p"), "(record)");
  FElement->addAttribute("e", TValue());
  EXPECT_EQ(FElement->getAttributeRaw("e"), "");
  const TDateTime afternoon = EncodeDateTime({2024, 3, 7, 14, 5, 9, 0});
  FElement->addAttribute("d", TValue::From(afternoon.Value, TypeInfoDateTime()));
  EXPECT_EQ(FElement->getAttributeRaw("d"), "3/7/2024 2:05:09 PM");
  FElement->addAttribute("m", TValue::From(EncodeDateTime({2024, 3, 7}).Value, TypeInfoDateTime()));
  EXPECT_EQ(FElement->getAttributeRaw("m"), "3/7/2024");
  // The existing attribute is set, not a second one made; the name is not split.
  FElement->addAttribute("i", 7);
  FElement->addAttribute("x:y", 1);
  EXPECT_EQ(FElement->getAttributeRaw("i"), "7");
  EXPECT_EQ(FElement->attributes().find("x:y")->namespacePrefix(), "");
}

TEST_F(XmlNode, TypedReads) {
  FElement->setAttributeRaw("abc", "abc");
  FElement->setAttributeRaw("twelve", "12");
  FElement->setAttributeRaw("comma", "1,5");
  FElement->setAttributeRaw("two", "2");
  FElement->setAttributeRaw("empty", "");
  int32_t integer = -1;
  std::string text = "x";
  double number = 9;
  float single = 9;
  bool flag = true;
  TValue value = TValue::From(1);
  EXPECT_THROW(FElement->getAttribute("abc", integer), EInvalidCast);
  EXPECT_THROW(FElement->getAttribute("twelve", text), EInvalidCast);
  EXPECT_THROW(FElement->getAttribute("abc", flag), EInvalidCast);
  EXPECT_THROW(FElement->getAttribute("abc", single), EInvalidCast);
  EXPECT_TRUE(FElement->getAttribute("comma", number));
  EXPECT_EQ(number, 1.5);
  EXPECT_FALSE(FElement->getAttribute("abc", number));
  EXPECT_EQ(number, 1.5);
  EXPECT_TRUE(FElement->getAttribute("two", single));
  EXPECT_EQ(single, 2.0f);

  // Missing: defaults and false.
  EXPECT_FALSE(FElement->getAttribute("none", integer));
  EXPECT_EQ(integer, 0);
  EXPECT_FALSE(FElement->getAttribute("none", text));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(FElement->getAttribute("none", number));
  EXPECT_EQ(number, 0);
  EXPECT_FALSE(FElement->getAttribute("none", value));
  EXPECT_TRUE(value.IsEmpty());

  // Empty raw value: the decided row.
  integer = 5, text = "x", single = 5, flag = true, number = 5, value = TValue::From(1);
  EXPECT_TRUE(FElement->getAttribute("empty", value));
  EXPECT_TRUE(value.IsEmpty());
  EXPECT_TRUE(FElement->getAttribute("empty", text));
  EXPECT_EQ(text, "");
  EXPECT_TRUE(FElement->getAttribute("empty", integer));
  EXPECT_EQ(integer, 0);
  EXPECT_TRUE(FElement->getAttribute("empty", flag));
  EXPECT_FALSE(flag);
  EXPECT_TRUE(FElement->getAttribute("empty", single));
  EXPECT_EQ(single, 0);
  EXPECT_FALSE(FElement->getAttribute("empty", number));
  EXPECT_EQ(number, 5);
}

TEST_F(XmlNode, PrefixedNamesSplitOrFail) {
  FElement->setAttribute("a:b:c", "1");
  const TMz_XmlAttribute* split = FElement->attributes().find("a:b");
  ASSERT_NE(split, nullptr);
  EXPECT_EQ(split->namespacePrefix(), "a");
  EXPECT_EQ(split->name(), "b");
  for (const char* name : {"a:", ":b", ":"}) {
    SCOPED_TRACE(name);
    try {
      FElement->setAttributeRaw(name, "1");
      FAIL() << "accepted";
    } catch (const EMz_XmlParseError& error) {
      EXPECT_EQ(error.Message(), "invalid attribute name - incomplete namespace declaration [\"\" at 0]");
    }
  }
  EXPECT_EQ(FElement->attributes().size(), 1u);
}

TEST_F(XmlNode, FindsAndSearchesByNameAndClass) {
  TMz_XmlElement* prefixed = TMz_XmlElement::Create(&FDocument, FElement.get(), "a", "b");
  TMz_XmlElement* plain = TMz_XmlElement::Create(&FDocument, FElement.get(), "", "b");
  EXPECT_EQ(prefixed->getQualifiedName(), "a:b");
  EXPECT_EQ(plain->getQualifiedName(), "b");
  EXPECT_EQ(FElement->find("b"), prefixed);
  EXPECT_EQ(FElement->find("c"), nullptr);
  EXPECT_EQ(FElement->find(TMz_XmlElement::StaticClass()), prefixed);
  EXPECT_EQ(FElement->find(TMz_XmlAttribute::StaticClass()), nullptr);

  TMz_XmlElement* deep = TMz_XmlElement::Create(&FDocument, plain, "", "b");
  EXPECT_EQ(deep->searchUpwardsForNode("b"), plain);
  EXPECT_EQ(deep->searchUpwardsForNode("e"), FElement.get());
  EXPECT_EQ(FElement->searchUpwardsForNode("e"), nullptr);
  EXPECT_EQ(deep->searchUpwardsForNode(TMz_XmlElement::StaticClass()), plain);

  TMz_XmlNamespace::Create(&FDocument, FElement.get(), "", "p");
  EXPECT_TRUE(deep->defined("p"));
  EXPECT_FALSE(deep->defined("q"));
  EXPECT_NE(FElement->getNamespace("p"), nullptr);

  FElement->clear();
  EXPECT_EQ(FElement->nodes(), nullptr);
}

// Run under AddressSanitizer: every node is freed exactly once.
TEST_F(XmlNode, OwnershipHoldsForEveryTableCase) {
  TMz_XmlDocument document;
  document.loadFromString("<?xml version=\"1.0\"?><a xmlns:p=\"u\" p=\"1\" x=\"1\" x=\"2\"><p:b/></a>");
  auto* a = dynamic_cast<TMz_XmlElement*>((*dynamic_cast<TMz_XmlElement*>(document.root())->nodes())[0]);
  EXPECT_EQ(a->getAttributeRaw("x"), "2");
  EXPECT_EQ(a->getAttributeRaw("p"), "1");
  EXPECT_EQ(document.saveToString(false), "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
                                          "<a xmlns:p=\"u\" p=\"1\" x=\"2\"><p:b /></a>");

  TMz_XmlAttribute* kept = a->attributes().find("x");
  a->removeAttribute(kept);
  EXPECT_EQ(a->attributes().find("x"), nullptr);
  EXPECT_EQ(kept->getRawValue(), "2");

  TMz_XmlElement* stranger = TMz_XmlElement::Create(&document, FElement.get(), "", "s");
  a->remove(stranger);
  EXPECT_EQ(FElement->find("s"), stranger);
  EXPECT_THROW(a->add(stranger), EArgumentException);

  a->clearAttributes();
  a->clearNamespaces();
  EXPECT_TRUE(a->attributes().empty());
  EXPECT_EQ(a->getNamespace("p"), nullptr);

  TMz_XmlNamespace::Create(&document, FElement.get(), "", "q");
  FElement->setAttribute("y", "1");
  FElement->clearNamespaces();
  EXPECT_EQ(FElement->getNamespace("q"), nullptr);
  EXPECT_EQ(FElement->getAttributeRaw("y"), "1");
}

// The attribute table views its nodes' names where it can; a renamed node keeps the key it was
// indexed under, in a small table and in a large (sorted) one, also after a replacement.
TEST_F(XmlNode, RenamedAttributesKeepTheirKeys) {
  for (const int extra : {0, 20}) {
    SCOPED_TRACE(extra);
    TOwned<TMz_XmlElement> element(TMz_XmlElement::Create(&FDocument, nullptr, "", "e"));
    for (int i = 0; i < extra; ++i)
      element->setAttributeRaw("a" + std::to_string(i), "v");
    const std::string longName(40, 'n');
    element->setAttributeRaw(longName, "1");
    TMz_XmlAttribute* node = element->attributes().find(longName);
    ASSERT_NE(node, nullptr);
    node->setName("short");
    EXPECT_EQ(element->attributes().find(longName), node);
    EXPECT_EQ(element->attributes().find("short"), nullptr);

    auto* first = TMz_XmlAttribute::Create(&FDocument, element.get(), "", "dup");
    auto* second = TMz_XmlAttribute::Create(&FDocument, element.get(), "", "dup");
    first->setName(std::string(40, 'x'));
    EXPECT_EQ(element->attributes().find("dup"), second);
    second->setName("other");
    EXPECT_EQ(element->attributes().find("dup"), second);
    EXPECT_EQ((element->attributes().end() - 1)->Key, "dup");
  }
}

TEST(XmlWrite, GoldenDocument) {
  TMz_XmlDocument document;
  auto* root = TMz_XmlElement::Create(&document, nullptr, "", "xml");
  root->setKind(TMz_XmlNodeKind::mzDocument);
  root->setAttributeRaw("version", "1.0");
  document.setRoot(root);
  auto* a = TMz_XmlElement::Create(&document, root, "", "a");
  a->setAttribute("x", "1");
  TMz_XmlElement::Create(&document, a, "", "b");
  TMz_XmlElement::Create(&document, a, "", "c")->setRawValue("t");
  TVantrelLanguageMap text;
  text.Add("en-us", "Hi");
  text.ToXml("text", true, a);

  EXPECT_EQ(
      document.saveToString(true),
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<a x=\"1\">\r\n\t<b "
      "/>\r\n\t<c>t</c>\r\n"
      "\t<text type=\"multilingual\">\r\n\t\t<lang id=\"en-us\">\r\n\t\t\t<![CDATA[Hi]]>\r\n\t\t</lang>\r\n"
      "\t</text>\r\n</a>\r\n");
  const std::string plain =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><a x=\"1\"><b /><c>t</c>"
      "<text type=\"multilingual\"><lang id=\"en-us\"><![CDATA[Hi]]></lang></text></a>";
  EXPECT_EQ(document.saveToString(false), plain);
  const TBytes bytes = document.saveToBytes(false);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), plain);

  // Saving into a longer stream leaves nothing of it behind.
  TStringStream target(std::string(plain.size() + 100, 'z'));
  document.saveToStream(&target, false);
  EXPECT_EQ(target.DataString(), plain);
}

TEST(XmlWrite, RefusesWhatItsParserWouldReadDifferently) {
  const auto build = [](TMz_XmlDocument& ADocument) {
    auto* root = TMz_XmlElement::Create(&ADocument, nullptr, "", "xml");
    root->setKind(TMz_XmlNodeKind::mzDocument);
    ADocument.setRoot(root);
    return TMz_XmlElement::Create(&ADocument, root, "p", "a");
  };
  {
    TMz_XmlDocument document;
    build(document)->setAttributeRaw("v", "say \"hi\"");
    const std::string text = document.saveToString(false);
    EXPECT_NE(text.find("v='say \"hi\"'"), std::string::npos);
    TMz_XmlDocument reread;
    reread.loadFromString("<?xml version=\"1.0\"?><a v='say \"hi\"'/>");
    EXPECT_EQ(dynamic_cast<TMz_XmlElement*>((*dynamic_cast<TMz_XmlElement*>(reread.root())->nodes())[0])
                  ->getAttributeRaw("v"),
              "say \"hi\"");
  }
  struct TCase {
    std::function<void(TMz_XmlElement*)> Make;
    const char* Message;
  } cases[] = {
      {[](TMz_XmlElement* a) { a->setAttributeRaw("v", "\"'"); },
       "attribute \"v\" holds both quote characters"},
      {[](TMz_XmlElement* a) { a->setRawValue("1 < 2"); }, "text of element \"p:a\" holds \"<\" or \">\""},
      {[](TMz_XmlElement* a) {
         auto* data = TMz_XmlElement::Create(a->document(), a, "", "");
         data->setKind(TMz_XmlNodeKind::mzData);
         data->setRawValue("x]]>y");
       },
       "CDATA section holds \"]]>\""},
      {[](TMz_XmlElement* a) {
         auto* comment = TMz_XmlElement::Create(a->document(), a, "", "");
         comment->setKind(TMz_XmlNodeKind::mzComment);
         comment->setRawValue("x-->y");
       },
       "comment holds \"-->\""},
      {[](TMz_XmlElement* a) {
         TMz_XmlElement::Create(a->document(), a, "", "d")->setKind(TMz_XmlNodeKind::mzDocType);
       },
       "invalid node kind"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Message);
    TMz_XmlDocument document;
    test.Make(build(document));
    TStringStream target;
    try {
      document.saveToStream(&target, true);
      FAIL() << "saved";
    } catch (const EMz_XmlStoringError& error) {
      EXPECT_EQ(error.Message(), std::string(test.Message) + " [\"\" at 0]");
      EXPECT_STREQ(error.ClassName(), "EMz_XmlStoringError");
    }
    EXPECT_EQ(target.GetSize(), 0);
  }
}

// A parsed tree lives in slabs of its own and is freed as a whole while unchanged; each kind of
// change first turns it into ordinary nodes, so the change is kept and freeing the tree afterwards
// frees every node, text and table once (the sanitizers check both).
TEST(XmlParsedTree, ChangesTurnItIntoOrdinaryNodes) {
  std::string wide = "<w";
  for (int i = 0; i < 20; ++i)
    wide += " a" + std::to_string(i) + "=\"" + std::string(30, 'v') + "\"";
  wide += "/>";
  const std::string text = "<?xml version=\"1.0\"?><r xmlns:p=\"u\"><p:e k=\"1\">" + std::string(300, 't') +
                           "<!--c--><![CDATA[d]]></p:e>" + wide + "</r>";
  const auto element = [](TMz_XmlDocument& ADocument, size_t AIndex) {
    auto* root = dynamic_cast<TMz_XmlElement*>(ADocument.root());
    return (*(*root->nodes())[0]->nodes())[AIndex];
  };
  struct TCase {
    const char* Change;
    std::function<void(TMz_XmlDocument&)> Apply;
    std::string Expected;
  };
  const TCase cases[] = {
      {"raw value", [&](auto& D) { element(D, 0)->attributes().find("k")->setRawValue("2"); }, "k=\"2\""},
      {"own value's tail",
       [&](auto& D) {
         TMz_XmlElement* e = element(D, 0);
         e->setRawValue(e->getRawValue().substr(290));
       },
       "<p:e k=\"1\">tttttttttt<!--c-->"},
      {"appended value", [&](auto& D) { element(D, 0)->appendRawValue(std::string(500, 'x')); },
       std::string(300, 't') + std::string(500, 'x')},
      {"name", [&](auto& D) { element(D, 1)->setName("renamed"); }, "<renamed a0="},
      {"prefix", [&](auto& D) { element(D, 0)->setNamespacePrefix(""); }, "<e k="},
      {"new child", [&](auto& D) { TMz_XmlElement::Create(&D, element(D, 1), "", "n"); }, "<n />"},
      {"removed child", [&](auto& D) { element(D, 0)->remove((*element(D, 0)->nodes())[0]); }, "t<![CDATA[d]]>"},
      {"attribute in a large table", [&](auto& D) { element(D, 1)->setAttributeRaw("z", "9"); }, " z=\"9\""},
      {"cleared attributes", [&](auto& D) { element(D, 1)->clearAttributes(); }, "<w />"},
      {"namespace", [&](auto& D) { TMz_XmlNamespace::Create(&D, element(D, 1), "", "q")->setRawValue("v"); },
       "xmlns:q=\"v\""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Change);
    TMz_XmlDocument document;
    document.loadFromString(text);
    ASSERT_TRUE(json_pool::IsDocumentRoot(document.root()));
    c.Apply(document);
    EXPECT_FALSE(json_pool::IsDocumentRoot(document.root()));
    EXPECT_NE(document.saveToString(false).find(c.Expected), std::string::npos) << document.saveToString(false);
  }

  // Names and values outlive the caller's input and go with the tree (the sanitizers check both).
  TMz_XmlDocument kept;
  kept.loadFromString(std::string(text));
  EXPECT_EQ(element(kept, 1)->name(), "w");
  EXPECT_EQ(element(kept, 0)->getRawValue(), std::string(300, 't'));
  kept.setRoot(nullptr);
  kept.loadFromString(std::string(text));
  EXPECT_EQ(element(kept, 0)->attributes().find("k")->getRawValue(), "1");

  // Loads that build ordinary nodes: with a node callback, and a failed load.
  TMz_XmlDocument called;
  called.setOnCreateNode([](auto...) -> TMz_XmlNode* { return nullptr; });
  called.loadFromString(text);
  EXPECT_FALSE(json_pool::IsDocumentRoot(called.root()));
  TMz_XmlDocument failed;
  EXPECT_THROW(failed.loadFromString(text.substr(0, text.size() - 2)), EMz_XmlParseError);
  EXPECT_EQ(failed.root(), nullptr);
  // A failed load whose child list outgrew a large block before the error frees that block too.
  std::string many = "<?xml version=\"1.0\"?><r>";
  for (int i = 0; i < 1000; ++i)
    many += "<a/>";
  EXPECT_THROW(failed.loadFromString(many), EMz_XmlParseError);
  EXPECT_EQ(failed.root(), nullptr);
}
