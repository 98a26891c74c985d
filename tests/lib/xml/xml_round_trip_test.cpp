#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <random>
#include <string>
#include <vector>

#include "rtl/encoding.h"
#include "xml/Vantrel.Xml.Document.h"

using namespace vantrel;

namespace {

// Builds random trees the writer accepts: names from the token characters, attribute values
// without both quotes, CDATA texts with any Unicode (emoji, CR, LF) but no "]]>", trimmed
// element texts without "<" or ">".
class TTreeMaker {
public:
  explicit TTreeMaker(uint32_t ASeed) : FRandom(ASeed) {}

  void Fill(TMz_XmlDocument& ADocument) {
    auto* root = TMz_XmlElement::Create(&ADocument, nullptr, "", "xml");
    root->setKind(TMz_XmlNodeKind::mzDocument);
    root->setAttributeRaw("version", "1.0");
    ADocument.setRoot(root);
    AddElement(ADocument, root, 1);
  }

private:
  std::mt19937 FRandom;

  int Pick(int ACount) { return static_cast<int>(FRandom() % static_cast<uint32_t>(ACount)); }

  std::string Name() {
    static const std::string first = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_";
    static const std::string rest = first + "0123456789-.";
    std::string name(1, first[static_cast<size_t>(Pick(static_cast<int>(first.size())))]);
    for (int i = Pick(8); i > 0; --i)
      name += rest[static_cast<size_t>(Pick(static_cast<int>(rest.size())))];
    return name;
  }

  std::string Text(bool AAnyUnicode) {
    static const char32_t pool[] = {U'a', U'Z', U'0',      U' ',      U'&',         U';',
                                    U'-', U']', U'\u00E4', U'\u20AC', U'\U0001F600'};
    static const char32_t control[] = {U'\r', U'\n', U'\t', U'<', U'>', U'"', U'\''};
    std::string text;
    for (int i = Pick(12); i > 0; --i) {
      const bool odd = AAnyUnicode && Pick(4) == 0;
      const char32_t c = odd ? control[Pick(7)] : pool[Pick(11)];
      std::u16string unit;
      if (c >= 0x10000) {
        unit += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        unit += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      } else {
        unit += static_cast<char16_t>(c);
      }
      text += Utf16ToUtf8(unit);
    }
    return text;
  }

  void AddElement(TMz_XmlDocument& ADocument, TMz_XmlElement* AParent, int ADepth) {
    TMz_XmlElement* element = TMz_XmlElement::Create(&ADocument, AParent, "", Name());
    for (int i = Pick(4); i > 0; --i) {
      std::string value = Text(true);
      if (value.find('"') != std::string::npos)
        std::erase(value, '\'');
      std::erase(value, '\r'); // pugixml normalises attribute line ends
      std::erase(value, '\n');
      std::erase(value, '\t');
      element->setAttributeRaw(Name(), value);
    }
    if (Pick(3) == 0) {
      std::string text = Text(false);
      std::erase(text, ' ');
      element->setRawValue(text);
    }
    const int children = ADepth < 6 ? Pick(4) : 0;
    for (int i = 0; i < children; ++i) {
      if (Pick(3) == 0) {
        auto* data = TMz_XmlElement::Create(&ADocument, element, "", "CDATA");
        data->setKind(TMz_XmlNodeKind::mzData);
        std::string text = Text(true);
        while (text.find("]]>") != std::string::npos)
          text.erase(text.find("]]>"), 3);
        data->setRawValue(text);
      } else {
        AddElement(ADocument, element, ADepth + 1);
      }
    }
  }
};

void ExpectSameTree(const TMz_XmlNode* AExpected, const TMz_XmlNode* AActual) {
  ASSERT_NE(AActual, nullptr);
  EXPECT_EQ(AActual->kind(), AExpected->kind());
  EXPECT_EQ(AActual->name(), AExpected->name());
  EXPECT_EQ(AActual->getRawValue(), AExpected->getRawValue());
  const auto* expected = dynamic_cast<const TMz_XmlElement*>(AExpected);
  const auto* actual = dynamic_cast<const TMz_XmlElement*>(AActual);
  ASSERT_EQ(actual->attributes().size(), expected->attributes().size());
  for (auto e = expected->attributes().begin(), a = actual->attributes().begin();
       e != expected->attributes().end(); ++e, ++a) {
    EXPECT_EQ(a->Key, e->Key);
    EXPECT_EQ(a->Node->getRawValue(), e->Node->getRawValue());
  }
  const size_t count = expected->nodes() ? expected->nodes()->size() : 0;
  ASSERT_EQ(actual->nodes() ? actual->nodes()->size() : 0, count);
  for (size_t i = 0; i < count; ++i)
    ExpectSameTree((*expected->nodes())[i], (*actual->nodes())[i]);
}

// pugixml reads the same names, attribute values and CDATA texts.
void ExpectPugiAgrees(const TMz_XmlElement* AExpected, const pugi::xml_node& ANode) {
  EXPECT_EQ(ANode.name(), AExpected->name());
  auto attribute = ANode.first_attribute();
  for (const auto& entry : AExpected->attributes()) {
    ASSERT_TRUE(attribute);
    EXPECT_EQ(attribute.name(), entry.Key);
    EXPECT_EQ(attribute.value(), entry.Node->getRawValue());
    attribute = attribute.next_attribute();
  }
  std::vector<const TMz_XmlElement*> elements;
  std::vector<std::string> data;
  if (AExpected->nodes())
    for (const TMz_XmlElement* child : *AExpected->nodes())
      if (child->kind() == TMz_XmlNodeKind::mzData)
        data.emplace_back(child->getRawValue());
      else
        elements.push_back(child);
  size_t element = 0, section = 0;
  for (pugi::xml_node child : ANode.children()) {
    if (child.type() == pugi::node_element) {
      ASSERT_LT(element, elements.size());
      ExpectPugiAgrees(elements[element++], child);
    } else if (child.type() == pugi::node_cdata) {
      ASSERT_LT(section, data.size());
      std::string expected = data[section++];
      // pugixml turns CR LF and lone CR into LF.
      for (size_t at = expected.find('\r'); at != std::string::npos; at = expected.find('\r', at))
        expected.replace(at, at + 1 < expected.size() && expected[at + 1] == '\n' ? 2 : 1, "\n");
      EXPECT_EQ(child.value(), expected);
    }
  }
  EXPECT_EQ(element, elements.size());
}

const TMz_XmlElement* Child(const TMz_XmlNode* ARoot) {
  return (*dynamic_cast<const TMz_XmlElement*>(ARoot)->nodes())[0];
}

} // namespace

TEST(XmlRoundTrip, RandomTreesReadBackEqualAndAsPugixmlReadsThem) {
  for (uint32_t seed = 1; seed <= 200; ++seed) {
    SCOPED_TRACE(seed);
    TMz_XmlDocument document;
    TTreeMaker(seed).Fill(document);
    for (bool beautify : {true, false}) {
      const TBytes bytes = document.saveToBytes(beautify);
      TMz_XmlDocument reread;
      reread.loadFromBytes(bytes);
      // The declaration gains its default attributes; everything below it reads back equal.
      ASSERT_NE(reread.root(), nullptr);
      EXPECT_EQ(reread.root()->kind(), TMz_XmlNodeKind::mzDocument);
      ExpectSameTree(Child(document.root()), Child(reread.root()));

      pugi::xml_document oracle;
      const pugi::xml_parse_result result = oracle.load_buffer(
          bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_declaration, pugi::encoding_utf8);
      ASSERT_TRUE(result) << result.description();
      ExpectPugiAgrees(Child(document.root()), oracle.document_element());
    }
  }
}
