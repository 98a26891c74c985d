#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/streams.h"
#include "rtl/types2d.h"
#include "xml/Vantrel.Xml.Document.h"
#include "xml/Vantrel.Xml.Parser.h"

using namespace vantrel;

namespace {

const std::string D = "<?xml version=\"1.0\"?>";

std::string ParseError(const std::string& AInput) {
  TMz_XmlDocument document;
  try {
    document.loadFromString(AInput);
  } catch (const EMz_XmlParseError& error) {
    EXPECT_EQ(document.root(), nullptr);
    return error.Message();
  }
  return "(loaded)";
}

TMz_XmlElement* Element(TMz_XmlNode* ANode) {
  return dynamic_cast<TMz_XmlElement*>(ANode);
}

TMz_XmlElement* Child(const TMz_XmlNode* ANode, size_t AIndex) {
  const TMz_XmlElement* element = dynamic_cast<const TMz_XmlElement*>(ANode);
  return element && element->nodes() && AIndex < element->nodes()->size() ? (*element->nodes())[AIndex]
                                                                          : nullptr;
}

} // namespace

TEST(XmlParse, FailuresReportTheirMessageAndPosition) {
  const std::string deep = D + [] {
    std::string text;
    for (int i = 0; i < 4097; ++i)
      text += "<a>";
    return text;
  }();
  struct TCase {
    std::string Input;
    std::string Message;
    int Position; // -1: not pinned
  } cases[] = {
      {D + "<a></b>", "failed to close tag \"a\" - closing tag \"b\" found instead", 27},
      {D + "<a>x > y</a>", "invalid character \">\" found", 27},
      {D + "<a></a >", "invalid character in closing tag a", 28},
      {D + "<a", "unexpected end of data (#$FFFF)", 24},
      {D + "<a b c=\"1\">", "invalid character while parsing attribute \"b\"", -1},
      {D + "<p:a/>", "namespace \"p\" not defined for tag \"a\"", -1},
      {D + "<a p:b=\"1\"/>", "namespace \"p\" not defined for attribute \"b\"", -1},
      {D + "<a xmlns:p x>", "invalid character while parsing namespace \"p\"", -1},
      {D + "<a>", "tag \"a\" not closed", -1},
      {D + "<p:a xmlns:p=\"u\">", "tag \"p:a\" not closed", -1},
      {D + "<>", "invalid character for token", -1},
      {D + "<a x=1/>", "invalid character", -1},
      {D + "<a x=\"1", "unexpected end of data (#$FFFF)", -1},
      {D + "<a" + std::string(1, '\0'), "unexpected end of data (#0)", -1},
      {D + "<a/ >", "\">\" expected behind \"/\"", -1},
      {D + "<a ?>", "invalid charater \"?\" - only allowed for xml header tag", -1},
      {"<?xml version=\"1.0\"?x", "invalid charater - \">\" expected behind \"?\"", -1},
      {"<?xml:a?>", "namespace declaration not allowed for xml core node", -1},
      {"<?foo?>", "xml header expected", -1},
      {D + "<?xml?>", "xml header already exist", -1},
      {D + "<!-x-->", "\"<!--\" expected for valid comment, but \"<!-\" found", -1},
      {D + "<a><!--c", "invalid character found - \"-\" expected", -1},
      {D + "<a><![CDAT[x]]></a>", "invalid character - \"CDATA[\" expected behind \"<![\"", -1},
      {D + "<a><![CDATA x]]></a>", "invalid character - \"[\" expected behind \"<![CDATA\"", -1},
      {D + "<a><![CDATA[x", "invalid character found - \"]\" expected", -1},
      {D + "<!DOCTYP x>", "\"<!DOCTYPE\" expected for valid doctype-definition, but \"<!D?\" found", -1},
      {D + "<!DOCTYPE x", "invalid character found - \">\" expected", -1},
      {"</a>", "parent node is not a xml element", -1},
      {"x", "node values only allowed for element nodes", -1},
      {D + "<a>< " + std::string(1, '\0'), "invalid char in tag name", -1},
      {D + "<p:" + std::string(1, '\0'), "incomplete namespace declaration \"p\" for tag name", -1},
      {D + "<a p:" + std::string(1, '\0'), "incomplete namespace declaration \"p\" for attribute name", -1},
      {D + "<a>t</a>x</b>", "failed to close tag \"xml\" - closing tag \"b\" found instead", -1},
      {deep, "maximum nesting depth exceeded", -1},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Input.substr(0, 60));
    const std::string message = ParseError(test.Input);
    const std::string prefix = test.Message + " [\"\" at ";
    ASSERT_EQ(message.substr(0, prefix.size()), prefix) << message;
    if (test.Position >= 0)
      EXPECT_EQ(message, prefix + std::to_string(test.Position) + "]");
  }
}

TEST(XmlParse, FileNamesStayAsTheyAreInMessages) {
  const std::string path = ::testing::TempDir() + "100%.xml";
  {
    TFileStream file(path, fmCreate);
    const std::string text = D + "<a>";
    file.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
  }
  TMz_XmlDocument document;
  try {
    document.loadFromFile(path);
    FAIL() << "loaded";
  } catch (const EMz_XmlParseError& error) {
    EXPECT_EQ(error.Message(), "tag \"a\" not closed [\"" + path + "\" at 25]");
    EXPECT_STREQ(error.ClassName(), "EMz_XmlParseError");
  }
}

TEST(XmlParse, BuildsTheTree) {
  TMz_XmlDocument document;
  document.loadFromString("<?xml version=\"1.0\"?><a x=\"1\" y='2'>t</a>");
  TMz_XmlNode* root = document.root();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->name(), "xml");
  EXPECT_EQ(root->kind(), TMz_XmlNodeKind::mzDocument);
  EXPECT_EQ(Element(root)->getAttributeRaw("version"), "1.0");
  TMz_XmlElement* a = Child(root, 0);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->name(), "a");
  EXPECT_EQ(a->getRawValue(), "t");
  ASSERT_EQ(a->attributes().size(), 2u);
  EXPECT_EQ(a->attributes().begin()->Key, "x");
  EXPECT_EQ((a->attributes().begin() + 1)->Key, "y");
  EXPECT_EQ(a->getAttributeRaw("y"), "2");
}

TEST(XmlParse, AcceptsTheSubsetAsSpecified) {
  struct TCase {
    std::string Input;
    std::string Value;      // raw value of the declaration's first child
    std::string ChildValue; // raw value of that child's first child ("-" for none)
  } cases[] = {
      {D + "<a>a <!--c--> b</a>", "ab", "c"},
      {D + "<a><b/>x<c/>y</a>", "xy", ""},
      {D + "< a ></a>", "", "-"},
      {D + "<a xmlns:p=\"u\"><p:b/></a>", "", ""},
      {D + "<a><![CDATA[ <b> ]]></a>", "", " <b> "},
      {D + "<!DOCTYPE note SYSTEM \"n.dtd\">", " note SYSTEM \"n.dtd\"", "-"},
      {D + "<a><!xy</a>", "y", "-"},
      {D + "<a>\xEF\xBF\xBF</a>", "\xEF\xBF\xBF", "-"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Input);
    TMz_XmlDocument document;
    document.loadFromString(test.Input);
    TMz_XmlElement* first = Child(document.root(), 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->getRawValue(), test.Value);
    TMz_XmlElement* inner = Child(first, 0);
    EXPECT_EQ(inner ? inner->getRawValue() : "-", test.ChildValue);
  }

  TMz_XmlDocument document;
  document.loadFromString(D + "<a b/><c x=\"&amp;\"/>tail");
  EXPECT_TRUE(Child(document.root(), 0)->attributes().find("b"));
  EXPECT_EQ(Child(document.root(), 0)->getAttributeRaw("b"), "");
  EXPECT_EQ(Child(document.root(), 1)->getAttributeRaw("x"), "&amp;");
  EXPECT_EQ(document.root()->getRawValue(), "tail");
}

TEST(XmlParse, CountsNodesAndKeepsTheFirstTreeOnASecondLoad) {
  TMz_XmlDocument none;
  none.loadFromString("<a>t</a><!--c-->");
  EXPECT_EQ(none.root(), nullptr);

  TMz_XmlDocument document;
  document.loadFromString(D + "<a><b/><!--c--></a>");
  EXPECT_EQ(document.node_count(), 5);
  TMz_XmlNode* root = document.root();
  EXPECT_EQ(ParseError(D), "(loaded)");
  try {
    document.loadFromString(D + "<x/>");
    FAIL() << "loaded twice";
  } catch (const EMz_XmlParseError& error) {
    EXPECT_EQ(error.Message(), "xml header already exist [\"\" at 5]");
  }
  EXPECT_EQ(document.root(), root);
  EXPECT_EQ(Child(root, 0)->name(), "a");
}

TEST(XmlParse, DeepTreesLoadSaveAndFreeWithoutRecursion) {
  std::string text = D;
  for (int i = 0; i < 4096; ++i)
    text += "<a>";
  for (int i = 0; i < 4096; ++i)
    text += "</a>";
  TMz_XmlDocument document;
  document.loadFromString(text);
  EXPECT_EQ(document.saveToString(false), "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>" +
                                              text.substr(D.size()).replace(4095 * 3, 7, "<a />"));

  // One level more, built in code, is refused before anything is written.
  TMz_XmlElement* node = Child(document.root(), 0);
  while (Child(node, 0))
    node = Child(node, 0);
  TMz_XmlElement::Create(&document, node, "", "b");
  TStringStream target;
  try {
    document.saveToStream(&target, true);
    FAIL() << "saved";
  } catch (const EMz_XmlStoringError& error) {
    EXPECT_EQ(error.Message(), "maximum nesting depth exceeded [\"\" at 0]");
  }
  EXPECT_EQ(target.GetSize(), 0);

  // A far deeper tree, built in code, is freed without recursion.
  auto* top = TMz_XmlElement::Create(&document, nullptr, "", "top");
  TMz_XmlElement* parent = top;
  for (int i = 0; i < 200000; ++i)
    parent = TMz_XmlElement::Create(&document, parent, "", "n");
  top->Free();
}

namespace {

// A callback that hands back a node of the wrong class for one kind.
struct TWrongNode {
  TMz_XmlNodeKind Kind;
  TMz_XmlNode* operator()(TMz_XmlDocument* ADocument, TMz_StreamReader*, TMz_XmlNode* ACurrent,
                          const std::string& ANamespace, const std::string& AName,
                          TMz_XmlNodeKind AKind) const {
    if (AKind != Kind)
      return nullptr;
    if (AKind == TMz_XmlNodeKind::mzDefault)
      return TMz_XmlAttribute::Create(ADocument, ACurrent, ANamespace, AName);
    if (AKind == TMz_XmlNodeKind::mzNamespace)
      return TMz_XmlAttribute::Create(ADocument, ACurrent, ANamespace, AName);
    return TMz_XmlElement::Create(ADocument, ACurrent, ANamespace, AName);
  }
};

} // namespace

TEST(XmlParse, CallbackNodesOfTheWrongClassTakeTheirErrors) {
  struct TCase {
    TMz_XmlNodeKind Kind;
    std::string Input;
    std::string Message;
  } cases[] = {
      {TMz_XmlNodeKind::mzAttribute, D + "<a x=\"1\"/>",
       "invalid character for assigning value to attribute \"version\""},
      {TMz_XmlNodeKind::mzNamespace, D + "<a xmlns:p=\"u\"/>",
       "invalid character for assigning value to namespace \"p\""},
      {TMz_XmlNodeKind::mzDefault, D + "<r><a xmlns:p=\"u\"/></r>",
       "failed to define namespace in none element node \"a\""},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Message);
    TMz_XmlDocument document;
    document.setOnCreateNode(TWrongNode{test.Kind});
    try {
      document.loadFromString(test.Input);
      FAIL() << "loaded";
    } catch (const EMz_XmlParseError& error) {
      EXPECT_EQ(error.Message().substr(0, test.Message.size()), test.Message);
    }
    EXPECT_EQ(document.root(), nullptr);
  }

  // A well-behaved callback's nodes are used as the parser's own.
  TMz_XmlDocument document;
  int asked = 0;
  document.setOnCreateNode([&](TMz_XmlDocument* ADocument, TMz_StreamReader*, TMz_XmlNode* ACurrent,
                               const std::string& ANamespace, const std::string& AName,
                               TMz_XmlNodeKind AKind) -> TMz_XmlNode* {
    ++asked;
    if (AKind != TMz_XmlNodeKind::mzDefault)
      return nullptr;
    TMz_XmlElement* node = TMz_XmlElement::Create(ADocument, ACurrent, ANamespace, AName);
    node->setRawValue("from callback ");
    return node;
  });
  document.loadFromString(D + "<a x=\"1\">t</a>");
  EXPECT_EQ(Child(document.root(), 0)->getRawValue(), "from callback t");
  EXPECT_EQ(asked, 4);
}

// UTF-8 bytes in memory are parsed as they are; the same text as UTF-16 goes through the decoded
// text. Both must give the same tree, or the same message at the same position, whatever the
// non-ASCII characters, ill-formed bytes and characters above U+FFFF around the grammar.
TEST(XmlParse, Utf8InMemoryReadsAsTheDecodedText) {
  const auto outcome = [](const TBytes& ABytes) {
    TMz_XmlDocument document;
    try {
      document.loadFromBytes(ABytes);
    } catch (const EMz_XmlParseError& error) {
      return "error: " + error.Message();
    }
    return document.saveToString(false);
  };
  const std::string emoji = "\xF0\x9F\x98\x80";
  std::vector<std::string> inputs = {
      D + "<a x=\"\xC3\xA4" + emoji + "\">t\xC3\xA4" + emoji + " x</a>",
      D + "<a><![CDATA[" + emoji + "\xC3]]><!--\xE2\x82-->\xE2\x82 y\xC0\x80</a>",
      D + "<a><!" + emoji + "b<!\xC3\xA4" + "c</a>",
      D + "<a>\xC3\xA4</b>",
      D + "<a x=" + emoji + "/>",
      D + "<a>" + emoji + "<!-" + emoji,
      D + "<a>\xC0\x80</a >",
      D + "<\xC3\xA4/>",
      "\xEF\xBB\xBF" + D + "<a>" + emoji + "</b>",
      D + "<a x=\"\xC3\xA4",
  };
  // In-memory text is checked in blocks of sixteen bytes: characters, well-formed or not, that
  // straddle a block's end, and ill-formed bytes in the short tail behind the last block.
  for (size_t shift = 0; shift < 17; ++shift) {
    const std::string pad(shift, 'x');
    inputs.push_back(D + "<a x=\"" + pad + "\xC3\xA4" + emoji + "\xE2\x82\xAC\">" + pad + emoji + "</a>");
    inputs.push_back(D + "<a>" + pad + "\xC3\xA4\xF0\x9F\x98" + "</a>");
    inputs.push_back(D + "<a>" + pad + "\xE2\x82</a>");
  }
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input);
    const TBytes utf8(input.begin(), input.end());
    const bool bom = input.starts_with("\xEF\xBB\xBF");
    TBytes utf16{0xFF, 0xFE};
    const std::vector<uint8_t> units = TEncoding::Unicode().GetBytes(
        TEncoding::UTF8().GetString(TBytes(utf8.begin() + (bom ? 3 : 0), utf8.end())));
    utf16.insert(utf16.end(), units.begin(), units.end());
    EXPECT_EQ(outcome(utf8), outcome(utf16));
  }
}
