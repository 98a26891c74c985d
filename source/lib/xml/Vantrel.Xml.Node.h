#pragma once
// The XML node model: elements with child elements, attributes and namespace declarations, all
// holding their values as raw text and typing them on demand through their document's rules.
//
// Ownership: an element owns its children (in `nodes()`) and every attribute and namespace node
// created on it (one owning list); the attribute and namespace tables are non-owning,
// insertion-ordered indexes over that list, so a replaced or removed entry stays alive until its
// element goes. A node made without an element parent belongs to its creator. Freeing a tree
// never recurses, whatever its depth.
//
// Memory: nodes, their texts and their tables all come from the runtime's slabs. A parsed tree
// takes them from slabs of its own (a slab document); while nothing in it changes, freeing its
// root hands those slabs back at once without visiting a node. Every change first dissolves that
// document, after which each node lives and dies on its own.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/classes.h"
#include "rtl/encoding.h"
#include "rtl/json_pool.h"
#include "rtl/value.h"

namespace vantrel {

class TMz_XmlDocument;
class TMz_XmlElement;
class TMz_StreamWriter;

enum class TMz_XmlNodeKind : uint8_t {
  mzDefault,
  mzDocument,
  mzDocType,
  mzStylesheet,
  mzData,
  mzComment,
  mzAttribute,
  mzNamespace
};
RTL_ENUM_TYPEINFO(TMz_XmlNodeKind, "mzDefault", "mzDocument", "mzDocType", "mzStylesheet", "mzData",
                  "mzComment", "mzAttribute", "mzNamespace")

using TMz_XmlNodeClass = const TClass&;

// Element tables take their memory from the runtime's slabs, as the nodes do: a large load makes
// several small tables per element, and the general heap is slow to hand them out and take them
// back.
template <class T> struct TMz_XmlAllocator {
  using value_type = T;
  TMz_XmlAllocator() noexcept = default;
  template <class U> TMz_XmlAllocator(const TMz_XmlAllocator<U>&) noexcept {}
  T* allocate(size_t ACount) { return static_cast<T*>(rtl::json_pool::AllocateBytes(ACount * sizeof(T))); }
  void deallocate(T* ABlock, size_t ACount) noexcept {
    rtl::json_pool::ReleaseBytes(ABlock, ACount * sizeof(T));
  }
  template <class U> bool operator==(const TMz_XmlAllocator<U>&) const noexcept { return true; }
};
template <class T> using TMz_XmlVector = std::vector<T, TMz_XmlAllocator<T>>;

// Objects the element tables make on the side live in slabs too.
struct TSlabDelete {
  template <class T> void operator()(T* AObject) const noexcept {
    AObject->~T();
    rtl::json_pool::ReleaseBytes(AObject, sizeof(T));
  }
};
template <class T, class... TArgs> T* NewInSlab(TArgs&&... AArgs) {
  void* block = rtl::json_pool::AllocateBytes(sizeof(T));
  return new (block) T(std::forward<TArgs>(AArgs)...);
}

// While alive, texts of nodes built on this thread view their text in AInput (the parser's own
// copy of what it reads, which lives as long as the tree it builds) instead of copying it.
class TMz_XmlTextSource {
public:
  explicit TMz_XmlTextSource(std::string_view AInput) noexcept;
  ~TMz_XmlTextSource();
  TMz_XmlTextSource(const TMz_XmlTextSource&) = delete;
  TMz_XmlTextSource& operator=(const TMz_XmlTextSource&) = delete;

private:
  std::string_view FOuter;
};

// The text of a name, prefix or value: UTF-8 bytes from the slabs, without a terminator. A short
// text costs one bump of the slab cursor, and a parsed tree's texts go with its slabs.
class TMz_XmlText {
public:
  TMz_XmlText() = default;
  explicit TMz_XmlText(std::string_view AText) { assign(AText); }
  TMz_XmlText(const TMz_XmlText&) = delete;
  TMz_XmlText& operator=(const TMz_XmlText&) = delete;
  ~TMz_XmlText() { release(); }

  std::string_view view() const { return {fData, fSize}; }
  bool empty() const { return fSize == 0; }
  // Both may be given a view of this very text. An empty text given a view inside the parser's
  // input (see TMz_XmlTextSource) views it instead of copying it.
  void assign(std::string_view AText);
  void append(std::string_view AText);

private:
  // A block of fCapacity bytes from the slabs, or (fCapacity 0) a view of the parser's input.
  char* fData = nullptr;
  uint32_t fSize = 0;
  uint32_t fCapacity = 0;

  // Makes the block hold at least ACapacity bytes, keeping the first AKeep bytes of the text.
  void reserve(size_t ACapacity, size_t AKeep);
  void release() noexcept;
};

class TMz_XmlNode : public TPersistent {
  RTL_CLASS(TMz_XmlNode, TPersistent)
public:
  // Nodes come from slabs: documents build them at parser speed.
  static void* operator new(size_t ASize);
  static void operator delete(void* ABlock, size_t ASize) noexcept;

  TMz_XmlDocument* document() const { return fDocument; }
  TMz_XmlNode* parent() const { return fParent; }
  TMz_XmlNodeKind kind() const { return fKind; }
  void setKind(TMz_XmlNodeKind pKind) { fKind = pKind; }
  // The prefix ("namespace" in the document's terms).
  std::string_view namespacePrefix() const { return fNamespace ? fNamespace->view() : std::string_view(); }
  void setNamespacePrefix(std::string_view pNamespace);
  std::string_view name() const { return fName.view(); }
  void setName(std::string_view pName);
  bool closed() const { return fClosed; }
  void setClosed(bool pClosed) { fClosed = pClosed; }

  // The raw value typed by the document's StringToValue.
  virtual TValue getValue() const;
  // Stores the typed value as raw text: date-times as en-US date-time text, other floats as
  // the general float text, the empty value as "", anything else by its standard text.
  virtual void setValue(const TValue& pValue);
  virtual std::string_view getRawValue() const { return fValue.view(); }
  virtual void setRawValue(std::string_view pValue);
  virtual std::string getQualifiedName() const;
  // Whether the prefix is declared in scope.
  virtual bool defined(std::string_view pNamespace) const;
  virtual void toStream(TMz_StreamWriter& pStream) const = 0;

  bool equals(std::string_view pNamespace, std::string_view pName) const {
    return pNamespace == namespacePrefix() && pName == name();
  }

  // The element owning this node as child, attribute or namespace, or null.
  TMz_XmlElement* parentElement() const { return fParent ? fParent->asElement() : nullptr; }
  // This node as an element, or null (a cheaper test than a cast on the parser's paths).
  TMz_XmlElement* asElement();

  // Appends to the raw value in place (the parser joins text pieces).
  void appendRawValue(std::string_view pValue);
  void appendRawValue(std::u16string_view pValue);

protected:
  TMz_XmlNode(TMz_XmlDocument* pDocument, TMz_XmlNode* pParent, TMz_XmlNodeKind pKind,
              std::string_view pNamespace, std::string_view pName);

  // Before this node changes: a parsed tree it belongs to becomes ordinary nodes (unless that
  // tree is being built on this thread right now).
  void touch() const noexcept;
  // Writes "prefix:name", or the name alone.
  void writeQualifiedName(TMz_StreamWriter& pStream) const;

  TMz_XmlDocument* fDocument;
  TMz_XmlNode* fParent;
  TMz_XmlNodeKind fKind;
  bool fClosed = false;
  bool fIsElement = false;
  // Null without a prefix: most nodes have none, and a large tree holds many nodes.
  std::unique_ptr<TMz_XmlText, TSlabDelete> fNamespace;
  TMz_XmlText fName;
  TMz_XmlText fValue;

  friend class TMz_XmlElement;
};

class TMz_XmlAttribute : public TMz_XmlNode {
  RTL_CLASS(TMz_XmlAttribute, TMz_XmlNode)
public:
  // A new attribute; on an element parent it is owned by it and indexed under its qualified name.
  static TMz_XmlAttribute* Create(TMz_XmlDocument* pDocument, TMz_XmlNode* pParent,
                                  std::string_view pNamespace, std::string_view pName);

  bool defined(std::string_view pNamespace) const override;
  void toStream(TMz_StreamWriter& pStream) const override;

  // The key of the attribute table.
  virtual std::string attributeKey() const { return getQualifiedName(); }
  // Whether that key is the name itself, so indexing needs no composed text.
  virtual bool keyIsName() const { return !fNamespace; }

protected:
  using TMz_XmlNode::TMz_XmlNode;
};

class TMz_XmlNamespace : public TMz_XmlAttribute {
  RTL_CLASS(TMz_XmlNamespace, TMz_XmlAttribute)
public:
  // A new declaration; on an element parent it is owned by it and indexed in both tables.
  static TMz_XmlNamespace* Create(TMz_XmlDocument* pDocument, TMz_XmlNode* pParent,
                                  std::string_view pNamespace, std::string_view pName);

  bool defined(std::string_view pNamespace) const override { return name() == pNamespace; }
  void toStream(TMz_StreamWriter& pStream) const override;
  // "xmlns:<prefix>", so a declaration and an attribute named like its prefix keep apart.
  std::string attributeKey() const override { return "xmlns:" + getQualifiedName(); }
  bool keyIsName() const override { return false; }

protected:
  using TMz_XmlAttribute::TMz_XmlAttribute;
};

// The child list of an element.
using TMz_XmlNodes = TMz_XmlVector<TMz_XmlElement*>;

// A non-owning table of attribute or namespace nodes by key, in insertion order; a replaced entry
// keeps its place.
class TMz_XmlNodeIndex {
public:
  TMz_XmlNodeIndex() = default;
  TMz_XmlNodeIndex(const TMz_XmlNodeIndex&) = delete;
  TMz_XmlNodeIndex& operator=(const TMz_XmlNodeIndex&) = delete;
  ~TMz_XmlNodeIndex() { clear(); }

  TMz_XmlAttribute* find(std::string_view pKey) const;
  // Adds (with a copy of the key), or replaces the node under an existing key.
  void put(std::string_view pKey, TMz_XmlAttribute* pNode);
  // The same under pNode's name, which the entry views rather than copies.
  void putName(TMz_XmlAttribute* pNode);
  // Before pNode's name changes: entries that view it take a copy, so their keys stay.
  void ownKeysOf(const TMz_XmlNode* pNode);
  void remove(std::string_view pKey);
  // Drops every entry holding pNode.
  void removeNode(const TMz_XmlAttribute* pNode);
  void clear();
  bool empty() const { return fEntries.empty(); }
  size_t size() const { return fEntries.size(); }
  auto begin() const { return fEntries.begin(); }
  auto end() const { return fEntries.end(); }

  // The key text is either the node's own name (a view) or the table's copy, taken from the
  // slabs; which one is told by where the text lies, so an entry takes 24 bytes.
  struct TEntry {
    std::string_view Key;
    TMz_XmlAttribute* Node;
  };

private:
  TMz_XmlVector<TEntry> fEntries;
  // Built once the table is large, so the parser stays linear on elements with many attributes.
  // (Slab memory, as everything a parsed tree holds.)
  std::unique_ptr<TMz_XmlVector<std::pair<std::string_view, size_t>>, TSlabDelete> fSorted;
  static constexpr size_t SortedFrom = 16;
  // Entries whose key is a copy: without any, clearing never reads the entries.
  size_t fCopies = 0;

  int indexOf(std::string_view pKey) const;
  // Whether the entry's key is the table's copy rather than a view of its node's name.
  static bool isCopy(const TEntry& pEntry);
  void add(std::string_view pKey, TMz_XmlAttribute* pNode, bool pCopy);
  void own(TEntry& pEntry);
  static std::string_view copyKey(std::string_view pKey);
  static void releaseKey(std::string_view pKey) noexcept;
  void rebuild();
};

class TMz_XmlElement : public TMz_XmlNode {
  RTL_CLASS(TMz_XmlElement, TMz_XmlNode)
public:
  // A new element of kind mzDefault; on an element parent it is appended to the parent's nodes.
  static TMz_XmlElement* Create(TMz_XmlDocument* pDocument, TMz_XmlNode* pParent, std::string_view pNamespace,
                                std::string_view pName);
  ~TMz_XmlElement() override;

  // Null until the first add, and again after clear.
  TMz_XmlNodes* nodes() const { return fNodes.get(); }
  const TMz_XmlNodeIndex& attributes() const;
  const TMz_XmlNodeIndex& namespaces() const;

  // Appends pNode and takes ownership of it. A node already in the list stays where it is; a node
  // that belongs to another element raises EArgumentException.
  virtual void add(TMz_XmlElement* pNode);
  // Frees pNode when it is a direct child; anything else is ignored.
  virtual void remove(TMz_XmlElement* pNode);
  virtual void clear();
  virtual TMz_XmlElement* find(std::string_view pTagname) const;
  virtual TMz_XmlElement* find(TMz_XmlNodeClass pClass) const;

  // Indexes pAttr under its key and takes ownership of it (see add).
  virtual void addAttribute(TMz_XmlAttribute* pAttr);
  virtual void addAttribute(std::string_view pAttr, const TValue& pValue);
  void addAttribute(std::string_view pAttr, const std::string& pValue);
  void addAttribute(std::string_view pAttr, const char* pValue);
  void addAttribute(std::string_view pAttr, int32_t pValue);
  void addAttribute(std::string_view pAttr, bool pValue);
  void addAttribute(std::string_view pAttr, double pValue);
  void addAttribute(std::string_view pAttr, float pValue);

  virtual bool getAttribute(std::string_view pAttr, TValue& pValue) const;
  virtual bool getAttribute(std::string_view pAttr, std::string& pValue) const;
  virtual bool getAttribute(std::string_view pAttr, int32_t& pValue) const;
  virtual bool getAttribute(std::string_view pAttr, bool& pValue) const;
  virtual bool getAttribute(std::string_view pAttr, double& pValue) const;
  virtual bool getAttribute(std::string_view pAttr, float& pValue) const;
  // The attribute's value normalised through its typing ("007" gives "7"), or "" when absent.
  std::string getAttribute(std::string_view pIndex) const;
  void setAttribute(std::string_view pIndex, std::string_view pValue);
  std::string getAttributeRaw(std::string_view pIndex) const;
  void setAttributeRaw(std::string_view pIndex, std::string_view pValue);

  // Unindexes (never frees) the node.
  virtual void removeAttribute(TMz_XmlAttribute* pAttr);
  // Frees every attribute node, namespace declarations included, and empties both tables.
  virtual void clearAttributes();
  virtual void addNamespace(TMz_XmlNamespace* pNamespace);
  virtual void removeNamespace(TMz_XmlNamespace* pNamespace);
  // Frees the namespace declarations and unindexes them from both tables.
  virtual void clearNamespaces();
  TMz_XmlNamespace* getNamespace(std::string_view pIndex) const;

  TMz_XmlElement* searchUpwardsForNode(TMz_XmlNodeClass pClass) const;
  TMz_XmlElement* searchUpwardsForNode(std::string_view pTagName) const;

  bool defined(std::string_view pNamespace) const override;
  void toStream(TMz_StreamWriter& pStream) const override;

  // Whether this element owns pNode as child or as attribute or namespace node.
  bool owns(const TMz_XmlNode* pNode) const;
  // For builders that know pNode is new and has this element as parent (no ownership checks).
  void appendNew(TMz_XmlElement* pNode);
  void addAttributeNew(TMz_XmlAttribute* pAttr);

protected:
  TMz_XmlElement(TMz_XmlDocument* pDocument, TMz_XmlNode* pParent, TMz_XmlNodeKind pKind,
                 std::string_view pNamespace, std::string_view pName)
      : TMz_XmlNode(pDocument, pParent, pKind, pNamespace, pName) {
    fIsElement = true;
  }

private:
  friend class TMz_XmlNode;

  struct TNodesDelete {
    void operator()(TMz_XmlNodes* ANodes) const noexcept;
  };
  using TNodesPtr = std::unique_ptr<TMz_XmlNodes, TNodesDelete>;
  TNodesPtr fNodes;
  // The attribute side of an element, made by its first attribute or namespace node: many
  // elements have none (text, CDATA and container elements), and a large tree holds many
  // elements.
  struct TAttributeTable {
    TMz_XmlNodeIndex Attributes;
    // Made by the first declaration: few elements declare any.
    std::unique_ptr<TMz_XmlNodeIndex, TSlabDelete> Namespaces;
    // Every attribute and namespace node made on or given to this element.
    TMz_XmlVector<TMz_XmlAttribute*> Owned;
  };
  std::unique_ptr<TAttributeTable, TSlabDelete> fTable;

  TAttributeTable& table() { return fTable ? *fTable : makeTable(); }
  TAttributeTable& makeTable();
  TMz_XmlAttribute* attributeNode(std::string_view pIndex) const {
    return fTable ? fTable->Attributes.find(pIndex) : nullptr;
  }
  void indexAttribute(TMz_XmlAttribute* pAttr);
  // Takes pNode over from nobody; raises when another element owns it.
  void adopt(TMz_XmlNode* pNode);
  // Creates the attribute named pIndex (split at ":"), or raises for an incomplete prefix.
  TMz_XmlAttribute* createAttribute(std::string_view pIndex);
  void writeAttributes(TMz_StreamWriter& pStream) const;
  void writeDeclarationAttributes(TMz_StreamWriter& pStream) const;
  void writeChildren(TMz_StreamWriter& pStream) const;
};

inline TMz_XmlElement* TMz_XmlNode::asElement() {
  return fIsElement ? static_cast<TMz_XmlElement*>(this) : nullptr;
}

// Frees a node and everything below it without recursion.
void FreeXmlTree(TMz_XmlNode* pNode) noexcept;

} // namespace vantrel
