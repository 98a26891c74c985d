#pragma once
// The XML document: loads text into the node model with its own parser and saves a node tree back
// as text. Its grammar is a pragmatic subset of XML (a declaration, elements with prefixes,
// attributes in either quote, namespace declarations, text, comments, CDATA, a DOCTYPE); nothing
// is decoded on reading, and writing refuses whatever its own parser would read back differently.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "Vantrel.Prelude.h"
#include "rtl/classes.h"
#include "rtl/exceptions.h"
#include "rtl/streams.h"
#include "rtl/sysutils.h"
#include "rtl/value.h"
#include "xml/Vantrel.Xml.Node.h"

namespace vantrel {

class TMz_StreamReader;
class TMz_StreamWriter;

// Message and position of every parse error: `tag "item" not closed ["dialogues.xml" at 512]`.
// The position is the reader's (the index of the next unread character) when there is a reader,
// else 0. The message text is formatted with its arguments before the suffix is added, so a file
// name holding "%" stays as it is.
class EMz_XmlParseError : public Exception {
public:
  EMz_XmlParseError(const TMz_XmlDocument* pDocument, const TMz_StreamReader* pStream,
                    std::string_view pMessage);
  template <class... TArgs>
  EMz_XmlParseError(const TMz_XmlDocument* pDocument, const TMz_StreamReader* pStream,
                    std::string_view pMessage, const TArgs&... pArgs)
      : EMz_XmlParseError(pDocument, pStream, std::string_view(Format(pMessage, pArgs...))) {}
  const char* ClassName() const noexcept override { return "EMz_XmlParseError"; }
};

// Storing errors always report position 0.
class EMz_XmlStoringError : public Exception {
public:
  EMz_XmlStoringError(const TMz_XmlDocument* pDocument, const TMz_StreamWriter* pStream,
                      std::string_view pMessage);
  template <class... TArgs>
  EMz_XmlStoringError(const TMz_XmlDocument* pDocument, const TMz_StreamWriter* pStream,
                      std::string_view pMessage, const TArgs&... pArgs)
      : EMz_XmlStoringError(pDocument, pStream, std::string_view(Format(pMessage, pArgs...))) {}
  const char* ClassName() const noexcept override { return "EMz_XmlStoringError"; }
};

// Called for every node the parser is about to make; returns the node to use instead, or null.
// pCurrent is the node the new one goes under (null at the top level).
using TMz_OnCreateNode = std::function<TMz_XmlNode*(TMz_XmlDocument* pSender, TMz_StreamReader* pStream,
                                                    TMz_XmlNode* pCurrent, const std::string& pNamespace,
                                                    const std::string& pName, TMz_XmlNodeKind pKind)>;

class TMz_XmlDocument : public TPersistent {
  RTL_CLASS(TMz_XmlDocument, TPersistent)
public:
  // Elements may nest this deep below the declaration (its children are depth 1).
  static constexpr int32_t MaxDepth = 4096;

  TMz_XmlDocument() = default;
  ~TMz_XmlDocument() override;

  // Kept for the callers that set it; the parser scans the decoded text directly.
  uint32_t token_buffer_size() const { return ftoken_buffer_size; }
  void setToken_buffer_size(uint32_t pValue) { ftoken_buffer_size = pValue; }
  // Every "<" the parser handled, over all loads.
  int32_t node_count() const { return fnode_count; }
  const std::string& filename() const { return ffilename; }
  void setFilename(std::string_view pValue) { ffilename = pValue; }
  TMz_XmlNode* root() const { return froot; }
  // Takes ownership; a previous, different root is freed.
  void setRoot(TMz_XmlNode* pRoot);
  const TFormatSettings& format() const { return FormatSettingsEnUS(); }
  const TMz_OnCreateNode& onCreateNode() const { return fonCreateNode; }
  void setOnCreateNode(TMz_OnCreateNode pHandler) { fonCreateNode = std::move(pHandler); }

  virtual void loadFromStream(TStream* pStream);
  // UTF-8 text.
  virtual void loadFromString(std::string_view pData);
  virtual void loadFromBytes(const TBytes& pData);
  virtual void loadFromFile(const std::string& pFilename);
  virtual void saveToStream(TStream* pStream, bool pBeautify);
  virtual std::string saveToString(bool pBeautify);
  virtual TBytes saveToBytes(bool pBeautify);
  virtual void saveToFile(const std::string& pFilename, bool pBeautify);

  // Empty text gives the empty value; text starting with a sign, point or digit a Double when it
  // holds "." and parses, else an Integer when it parses; "true"/"false" in any case a Boolean;
  // anything else stays a string.
  TValue StringToValue(std::string_view pData) const;

private:
  uint32_t ftoken_buffer_size = 16;
  int32_t fnode_count = 0;
  std::string ffilename;
  TMz_XmlNode* froot = nullptr;
  // The copy of the input the parsed root's tree views its names and values in; it goes when
  // that root goes.
  std::unique_ptr<char[]> frootText;
  TMz_OnCreateNode fonCreateNode;

  void parse(TMz_StreamReader& pReader);
  void freeRoot() noexcept;
  // Builds the whole text in a reused buffer, then hands the writer to pUse; a storing error
  // leaves before anything reaches pStream.
  template <class TUse> void render(TStream* pStream, bool pBeautify, TUse&& pUse);

  template <class TChar> friend class TMz_XmlParser;
};

// StringToValue with the en-US rules, for nodes without a document.
TValue XmlStringToValue(std::string_view pData);

} // namespace vantrel
