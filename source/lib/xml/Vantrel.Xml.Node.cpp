#include "xml/Vantrel.Xml.Node.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "rtl/date_time.h"
#include "rtl/json_pool.h"
#include "rtl/sysutils.h"
#include "xml/Vantrel.Xml.Document.h"
#include "xml/Vantrel.Xml.Writer.h"

namespace vantrel {

RTL_DEFINE_CLASS(TMz_XmlNode, "Vantrel.Xml.Node")
RTL_DEFINE_CLASS(TMz_XmlAttribute, "Vantrel.Xml.Node")
RTL_DEFINE_CLASS(TMz_XmlNamespace, "Vantrel.Xml.Node")
RTL_DEFINE_CLASS(TMz_XmlElement, "Vantrel.Xml.Node")

namespace {

// Element tables start with room for one entry (most elements have one attribute or one
// child), then grow to this many and double from there: each growth step is an allocation, and
// in a parsed tree the blocks a table outgrows stay in its slabs until the tree goes.
constexpr size_t SmallTable = 4;

template <class TVector> void ReserveOneMore(TVector& AVector) {
  if (AVector.size() < AVector.capacity())
    return;
  AVector.reserve(AVector.empty() ? 1 : AVector.size() < SmallTable ? SmallTable : AVector.size() * 2);
}

const TFormatSettings& FormatOf(const TMz_XmlDocument* ADocument) {
  return ADocument ? ADocument->format() : FormatSettingsEnUS();
}

TValue TypedValue(const TMz_XmlNode& ANode) {
  const TMz_XmlDocument* document = ANode.document();
  return document ? document->StringToValue(ANode.getRawValue()) : XmlStringToValue(ANode.getRawValue());
}

// The standard text of a typed value, as typed writes store it.
std::string RenderValue(const TValue& AValue, const TFormatSettings& AFormat) {
  if (AValue.IsEmpty())
    return {};
  if (AValue.Kind() == TTypeKind::tkFloat) {
    if (AValue.TypeInfo() == &TypeInfoDateTime())
      return DateTimeToStr(TDateTime{AValue.AsDouble()}, AFormat);
    return FloatToStr(AValue.AsDouble(), AFormat);
  }
  return AValue.ToString();
}

bool IsIntegerKind(TTypeKind AKind) {
  return AKind == TTypeKind::tkInteger || AKind == TTypeKind::tkInt64;
}

template <class T> T* Constructed(T* ANode) {
  ANode->AfterConstruction();
  return ANode;
}

void WriteQuoted(TMz_StreamWriter& AStream, const TMz_XmlAttribute& ANode, std::string_view AName) {
  const std::string_view value = ANode.getRawValue();
  // The reader takes either quote; the one the value does not hold encloses it.
  char quote = '"';
  if (value.find('"') != std::string_view::npos) {
    if (value.find('\'') != std::string_view::npos)
      throw EMz_XmlStoringError(ANode.document(), &AStream, "attribute \"%s\" holds both quote characters",
                                AName);
    quote = '\'';
  }
  AStream.write(" ");
  AStream.write(AName);
  AStream.write("=");
  AStream.write(std::string_view(&quote, 1));
  AStream.write(value);
  AStream.write(std::string_view(&quote, 1));
}

void LineBreak(TMz_StreamWriter& AStream) {
  if (AStream.beautified())
    AStream.crlf();
}

} // namespace

// ---- TMz_XmlText ----------------------------------------------------------------------------------

namespace {

thread_local std::string_view tTextSource;

bool FromTextSource(std::string_view AText) {
  const std::string_view source = tTextSource;
  return !AText.empty() && AText.data() >= source.data() &&
         AText.data() + AText.size() <= source.data() + source.size();
}

} // namespace

TMz_XmlTextSource::TMz_XmlTextSource(std::string_view AInput) noexcept : FOuter(tTextSource) {
  tTextSource = AInput;
}

TMz_XmlTextSource::~TMz_XmlTextSource() {
  tTextSource = FOuter;
}

void TMz_XmlText::reserve(size_t ACapacity, size_t AKeep) {
  if (ACapacity <= fCapacity)
    return;
  if (ACapacity > UINT32_MAX)
    throw ERangeError("an XML text cannot exceed 4 GiB");
  auto* block = static_cast<char*>(json_pool::AllocateBytes(ACapacity));
  if (AKeep > 0)
    std::memcpy(block, fData, AKeep);
  release();
  fData = block;
  fCapacity = static_cast<uint32_t>(ACapacity);
}

void TMz_XmlText::release() noexcept {
  if (fCapacity > 0)
    json_pool::ReleaseBytes(fData, fCapacity);
  fData = nullptr;
  fCapacity = 0;
}

void TMz_XmlText::assign(std::string_view AText) {
  if (fCapacity == 0 && FromTextSource(AText)) {
    fData = const_cast<char*>(AText.data());
    fSize = static_cast<uint32_t>(AText.size());
    return;
  }
  if (AText.size() > fCapacity) {
    // A view of this text stays readable until the new block holds the copy.
    TMz_XmlText copy;
    copy.reserve(AText.size(), 0);
    std::memcpy(copy.fData, AText.data(), AText.size());
    std::swap(fData, copy.fData);
    std::swap(fCapacity, copy.fCapacity);
  } else if (!AText.empty()) {
    std::memmove(fData, AText.data(), AText.size());
  }
  fSize = static_cast<uint32_t>(AText.size());
}

void TMz_XmlText::append(std::string_view AText) {
  if (AText.empty())
    return;
  if (fSize == 0) {
    assign(AText);
    return;
  }
  const size_t size = fSize + AText.size();
  if (size > fCapacity) {
    TMz_XmlText grown;
    grown.reserve(std::max(size, size_t(fCapacity) * 2), 0);
    if (fSize > 0)
      std::memcpy(grown.fData, fData, fSize);
    std::memcpy(grown.fData + fSize, AText.data(), AText.size());
    std::swap(fData, grown.fData);
    std::swap(fCapacity, grown.fCapacity);
  } else {
    std::memmove(fData + fSize, AText.data(), AText.size());
  }
  fSize = static_cast<uint32_t>(size);
}

// ---- TMz_XmlNode ----------------------------------------------------------------------------------

void* TMz_XmlNode::operator new(size_t ASize) {
  return json_pool::AllocateBytes(ASize);
}

void TMz_XmlNode::operator delete(void* ABlock, size_t ASize) noexcept {
  // The root of an intact parsed tree takes all of the tree's slabs with it.
  if (json_pool::IsDocumentRoot(ABlock))
    json_pool::FreeDocument(ABlock);
  else
    json_pool::ReleaseBytes(ABlock, ASize);
}

TMz_XmlNode::TMz_XmlNode(TMz_XmlDocument* pDocument, TMz_XmlNode* pParent, TMz_XmlNodeKind pKind,
                         std::string_view pNamespace, std::string_view pName)
    : fDocument(pDocument), fParent(pParent), fKind(pKind), fName(pName) {
  if (!pNamespace.empty())
    fNamespace.reset(NewInSlab<TMz_XmlText>(pNamespace));
}

void TMz_XmlNode::touch() const noexcept {
  json_pool::TDocument* tree = json_pool::DocumentOf(this);
  if (tree && tree != json_pool::tDocument)
    json_pool::Dissolve(tree);
}

void TMz_XmlNode::setNamespacePrefix(std::string_view pNamespace) {
  touch();
  if (pNamespace.empty())
    fNamespace.reset();
  else if (fNamespace)
    fNamespace->assign(pNamespace);
  else
    fNamespace.reset(NewInSlab<TMz_XmlText>(pNamespace));
}

void TMz_XmlNode::setRawValue(std::string_view pValue) {
  touch();
  fValue.assign(pValue);
}

void TMz_XmlNode::appendRawValue(std::string_view pValue) {
  touch();
  fValue.append(pValue);
}

void TMz_XmlNode::appendRawValue(std::u16string_view pValue) {
  std::string text;
  AppendUtf16AsUtf8(text, pValue);
  appendRawValue(std::string_view(text));
}

TValue TMz_XmlNode::getValue() const {
  return TypedValue(*this);
}

void TMz_XmlNode::setValue(const TValue& pValue) {
  setRawValue(RenderValue(pValue, FormatOf(fDocument)));
}

void TMz_XmlNode::setName(std::string_view pName) {
  touch();
  if (TMz_XmlElement* element = parentElement(); element && element->fTable)
    element->fTable->Attributes.ownKeysOf(this);
  fName.assign(pName);
}

std::string TMz_XmlNode::getQualifiedName() const {
  std::string text;
  if (fNamespace) {
    text = fNamespace->view();
    text += ':';
  }
  text += fName.view();
  return text;
}

bool TMz_XmlNode::defined(std::string_view pNamespace) const {
  return fParent && fParent->defined(pNamespace);
}

// ---- Attributes and namespaces --------------------------------------------------------------------

TMz_XmlAttribute* TMz_XmlAttribute::Create(TMz_XmlDocument* pDocument, TMz_XmlNode* pParent,
                                           std::string_view pNamespace, std::string_view pName) {
  auto* node =
      Constructed(new TMz_XmlAttribute(pDocument, pParent, TMz_XmlNodeKind::mzAttribute, pNamespace, pName));
  if (auto* element = node->parentElement())
    element->addAttributeNew(node);
  return node;
}

bool TMz_XmlAttribute::defined(std::string_view pNamespace) const {
  return TMz_XmlNode::defined(pNamespace);
}

void TMz_XmlAttribute::toStream(TMz_StreamWriter& pStream) const {
  if (!fNamespace)
    WriteQuoted(pStream, *this, fName.view());
  else
    WriteQuoted(pStream, *this, getQualifiedName());
}

TMz_XmlNamespace* TMz_XmlNamespace::Create(TMz_XmlDocument* pDocument, TMz_XmlNode* pParent,
                                           std::string_view pNamespace, std::string_view pName) {
  auto* node =
      Constructed(new TMz_XmlNamespace(pDocument, pParent, TMz_XmlNodeKind::mzNamespace, pNamespace, pName));
  if (auto* element = node->parentElement()) {
    element->addAttributeNew(node);
    element->addNamespace(node);
  }
  return node;
}

void TMz_XmlNamespace::toStream(TMz_StreamWriter& pStream) const {
  WriteQuoted(pStream, *this, "xmlns:" + std::string(fName.view()));
}

// ---- TMz_XmlNodeIndex -----------------------------------------------------------------------------

int TMz_XmlNodeIndex::indexOf(std::string_view pKey) const {
  if (fSorted) {
    const auto it =
        std::lower_bound(fSorted->begin(), fSorted->end(), pKey,
                         [](const auto& AEntry, std::string_view AKey) { return AEntry.first < AKey; });
    return it != fSorted->end() && it->first == pKey ? static_cast<int>(it->second) : -1;
  }
  for (size_t i = 0; i < fEntries.size(); ++i)
    if (fEntries[i].Key == pKey)
      return static_cast<int>(i);
  return -1;
}

void TMz_XmlNodeIndex::rebuild() {
  if (fEntries.size() < SortedFrom) {
    fSorted.reset();
    return;
  }
  if (!fSorted)
    fSorted.reset(NewInSlab<TMz_XmlVector<std::pair<std::string_view, size_t>>>());
  fSorted->clear();
  for (size_t i = 0; i < fEntries.size(); ++i)
    fSorted->emplace_back(fEntries[i].Key, i);
  std::sort(fSorted->begin(), fSorted->end());
}

TMz_XmlAttribute* TMz_XmlNodeIndex::find(std::string_view pKey) const {
  const int index = indexOf(pKey);
  return index < 0 ? nullptr : fEntries[static_cast<size_t>(index)].Node;
}

std::string_view TMz_XmlNodeIndex::copyKey(std::string_view pKey) {
  // At least one byte, so an empty key still owns a block inside its slab.
  auto* text = static_cast<char*>(json_pool::AllocateBytes(std::max<size_t>(pKey.size(), 1)));
  std::copy(pKey.begin(), pKey.end(), text);
  return {text, pKey.size()};
}

void TMz_XmlNodeIndex::releaseKey(std::string_view pKey) noexcept {
  json_pool::ReleaseBytes(const_cast<char*>(pKey.data()), std::max<size_t>(pKey.size(), 1));
}

bool TMz_XmlNodeIndex::isCopy(const TEntry& pEntry) {
  // A copy is a block of its own (never empty, see copyKey), so it never lies where the node's
  // name does; a view of the name starts where the name does, even an empty one.
  return pEntry.Key.data() != pEntry.Node->name().data();
}

void TMz_XmlNodeIndex::own(TEntry& pEntry) {
  if (!isCopy(pEntry)) {
    pEntry.Key = copyKey(pEntry.Key);
    ++fCopies;
  }
}

void TMz_XmlNodeIndex::add(std::string_view pKey, TMz_XmlAttribute* pNode, bool pCopy) {
  ReserveOneMore(fEntries);
  fEntries.push_back({pKey, pNode});
  if (pCopy)
    ++fCopies;
  if (fEntries.size() < SortedFrom)
    return;
  if (!fSorted) {
    rebuild();
    return;
  }
  const std::pair<std::string_view, size_t> entry(fEntries.back().Key, fEntries.size() - 1);
  fSorted->insert(std::upper_bound(fSorted->begin(), fSorted->end(), entry), entry);
}

void TMz_XmlNodeIndex::put(std::string_view pKey, TMz_XmlAttribute* pNode) {
  const int index = indexOf(pKey);
  if (index < 0) {
    add(copyKey(pKey), pNode, true);
    return;
  }
  // A key that viewed the replaced node's name must not follow that node any more.
  TEntry& entry = fEntries[static_cast<size_t>(index)];
  own(entry);
  entry.Node = pNode;
  if (fSorted)
    rebuild();
}

void TMz_XmlNodeIndex::putName(TMz_XmlAttribute* pNode) {
  const std::string_view name = pNode->name();
  const int index = indexOf(name);
  if (index < 0) {
    add(name, pNode, false);
    return;
  }
  TEntry& entry = fEntries[static_cast<size_t>(index)];
  if (!isCopy(entry))
    entry.Key = name;
  entry.Node = pNode;
  if (fSorted)
    rebuild();
}

void TMz_XmlNodeIndex::ownKeysOf(const TMz_XmlNode* pNode) {
  bool changed = false;
  for (TEntry& entry : fEntries)
    if (entry.Node == pNode && !isCopy(entry)) {
      own(entry);
      changed = true;
    }
  if (changed && fSorted)
    rebuild();
}

void TMz_XmlNodeIndex::remove(std::string_view pKey) {
  const int index = indexOf(pKey);
  if (index < 0)
    return;
  const TEntry entry = fEntries[static_cast<size_t>(index)];
  fEntries.erase(fEntries.begin() + index);
  if (isCopy(entry)) {
    releaseKey(entry.Key);
    --fCopies;
  }
  rebuild();
}

void TMz_XmlNodeIndex::removeNode(const TMz_XmlAttribute* pNode) {
  const auto from = std::stable_partition(fEntries.begin(), fEntries.end(),
                                          [&](const TEntry& AEntry) { return AEntry.Node != pNode; });
  if (from == fEntries.end())
    return;
  for (auto it = from; it != fEntries.end(); ++it)
    if (isCopy(*it)) {
      releaseKey(it->Key);
      --fCopies;
    }
  fEntries.erase(from, fEntries.end());
  rebuild();
}

void TMz_XmlNodeIndex::clear() {
  if (fEntries.empty())
    return;
  json_pool::TReleaseScope batch;
  if (fCopies > 0)
    for (const TEntry& entry : fEntries)
      if (isCopy(entry))
        releaseKey(entry.Key);
  fCopies = 0;
  TMz_XmlVector<TEntry>().swap(fEntries);
  fSorted.reset();
}

// ---- TMz_XmlElement: structure --------------------------------------------------------------------

TMz_XmlElement* TMz_XmlElement::Create(TMz_XmlDocument* pDocument, TMz_XmlNode* pParent,
                                       std::string_view pNamespace, std::string_view pName) {
  auto* node =
      Constructed(new TMz_XmlElement(pDocument, pParent, TMz_XmlNodeKind::mzDefault, pNamespace, pName));
  if (auto* element = node->parentElement())
    element->appendNew(node);
  return node;
}

TMz_XmlElement::~TMz_XmlElement() {
  // An intact parsed tree goes with its slabs as a whole (see operator delete).
  if (json_pool::IsDocumentRoot(this))
    return;
  json_pool::TReleaseScope batch;
  // Depth first with a stack of the child lists being emptied, each from its front (the order the
  // parser allocated them in, which the memory prefetcher follows): a node hands its own list to
  // the stack before it is freed, so no destructor recurses and the stack only grows with the
  // depth.
  struct TLevel {
    TNodesPtr List;
    size_t Next;
  };
  std::vector<TLevel> levels;
  if (fNodes)
    levels.push_back({std::move(fNodes), 0});
  while (!levels.empty()) {
    TLevel& level = levels.back();
    if (level.Next == level.List->size()) {
      levels.pop_back();
      continue;
    }
    TMz_XmlElement* node = (*level.List)[level.Next++];
    if (node->fNodes)
      levels.push_back({std::move(node->fNodes), 0});
    node->Free();
  }
  if (fTable) {
    // Unindexed first: the tables read their nodes' names.
    fTable->Attributes.clear();
    fTable->Namespaces.reset();
    for (TMz_XmlAttribute* node : fTable->Owned)
      node->Free();
    fTable.reset();
  }
}

void FreeXmlTree(TMz_XmlNode* pNode) noexcept {
  if (pNode)
    pNode->Free();
}

void TMz_XmlElement::TNodesDelete::operator()(TMz_XmlNodes* ANodes) const noexcept {
  ANodes->~TMz_XmlNodes();
  json_pool::ReleaseBytes(ANodes, sizeof(TMz_XmlNodes));
}

void TMz_XmlElement::appendNew(TMz_XmlElement* pNode) {
  touch();
  if (!fNodes)
    fNodes = TNodesPtr(new (json_pool::AllocateBytes(sizeof(TMz_XmlNodes))) TMz_XmlNodes());
  ReserveOneMore(*fNodes);
  fNodes->push_back(pNode);
}

TMz_XmlElement::TAttributeTable& TMz_XmlElement::makeTable() {
  fTable.reset(NewInSlab<TAttributeTable>());
  return *fTable;
}

void TMz_XmlElement::addAttributeNew(TMz_XmlAttribute* pAttr) {
  touch();
  TAttributeTable& attributes = table();
  ReserveOneMore(attributes.Owned);
  attributes.Owned.push_back(pAttr);
  indexAttribute(pAttr);
}

void TMz_XmlElement::indexAttribute(TMz_XmlAttribute* pAttr) {
  TMz_XmlNodeIndex& index = table().Attributes;
  if (pAttr->keyIsName())
    index.putName(pAttr);
  else
    index.put(pAttr->attributeKey(), pAttr);
}

bool TMz_XmlElement::owns(const TMz_XmlNode* pNode) const {
  if (fNodes && std::find(fNodes->begin(), fNodes->end(), pNode) != fNodes->end())
    return true;
  return fTable && std::find(fTable->Owned.begin(), fTable->Owned.end(), pNode) != fTable->Owned.end();
}

void TMz_XmlElement::adopt(TMz_XmlNode* pNode) {
  if (TMz_XmlElement* owner = pNode->parentElement(); owner && owner != this && owner->owns(pNode))
    throw EArgumentException("the node belongs to another element");
  for (const TMz_XmlNode* up = this; up; up = up->parent())
    if (up == pNode)
      throw EArgumentException("an element cannot hold itself or an ancestor");
  pNode->fParent = this;
}

void TMz_XmlElement::add(TMz_XmlElement* pNode) {
  if (!pNode || (pNode->fParent == this && owns(pNode)))
    return;
  adopt(pNode);
  // A tree that joins another is no intact parsed tree any more.
  pNode->touch();
  appendNew(pNode);
}

void TMz_XmlElement::remove(TMz_XmlElement* pNode) {
  if (!fNodes)
    return;
  const auto it = std::find(fNodes->begin(), fNodes->end(), pNode);
  if (it == fNodes->end())
    return;
  touch();
  fNodes->erase(it);
  pNode->Free();
}

void TMz_XmlElement::clear() {
  if (!fNodes)
    return;
  touch();
  TNodesPtr nodes = std::move(fNodes);
  json_pool::TReleaseScope batch;
  for (TMz_XmlElement* node : *nodes)
    node->Free();
}

TMz_XmlElement* TMz_XmlElement::find(std::string_view pTagname) const {
  if (fNodes)
    for (TMz_XmlElement* node : *fNodes)
      if (node->name() == pTagname)
        return node;
  return nullptr;
}

TMz_XmlElement* TMz_XmlElement::find(TMz_XmlNodeClass pClass) const {
  if (fNodes)
    for (TMz_XmlElement* node : *fNodes)
      if (node->InheritsFrom(pClass))
        return node;
  return nullptr;
}

TMz_XmlElement* TMz_XmlElement::searchUpwardsForNode(TMz_XmlNodeClass pClass) const {
  for (TMz_XmlNode* node = fParent; node; node = node->parent()) {
    TMz_XmlElement* element = node->asElement();
    if (node->InheritsFrom(pClass) || !element)
      return element;
  }
  return nullptr;
}

TMz_XmlElement* TMz_XmlElement::searchUpwardsForNode(std::string_view pTagName) const {
  for (TMz_XmlNode* node = fParent; node; node = node->parent()) {
    TMz_XmlElement* element = node->asElement();
    if (node->name() == pTagName || !element)
      return element;
  }
  return nullptr;
}

namespace {
const TMz_XmlNodeIndex& NoEntries() {
  static const TMz_XmlNodeIndex none;
  return none;
}
} // namespace

const TMz_XmlNodeIndex& TMz_XmlElement::attributes() const {
  return fTable ? fTable->Attributes : NoEntries();
}

const TMz_XmlNodeIndex& TMz_XmlElement::namespaces() const {
  return fTable && fTable->Namespaces ? *fTable->Namespaces : NoEntries();
}

bool TMz_XmlElement::defined(std::string_view pNamespace) const {
  return namespaces().find(pNamespace) || TMz_XmlNode::defined(pNamespace);
}

// ---- TMz_XmlElement: attribute tables -------------------------------------------------------------

void TMz_XmlElement::addAttribute(TMz_XmlAttribute* pAttr) {
  if (!pAttr)
    return;
  touch();
  if (!(pAttr->fParent == this && owns(pAttr))) {
    adopt(pAttr);
    pAttr->touch();
    table().Owned.push_back(pAttr);
  }
  indexAttribute(pAttr);
}

void TMz_XmlElement::addAttribute(std::string_view pAttr, const TValue& pValue) {
  TMz_XmlAttribute* node = attributeNode(pAttr);
  if (!node)
    node = TMz_XmlAttribute::Create(fDocument, this, "", pAttr);
  node->setValue(pValue);
}

void TMz_XmlElement::addAttribute(std::string_view pAttr, const std::string& pValue) {
  addAttribute(pAttr, TValue::From(pValue));
}

void TMz_XmlElement::addAttribute(std::string_view pAttr, const char* pValue) {
  addAttribute(pAttr, TValue::From(std::string(pValue ? pValue : "")));
}

void TMz_XmlElement::addAttribute(std::string_view pAttr, int32_t pValue) {
  addAttribute(pAttr, TValue::From(pValue));
}

void TMz_XmlElement::addAttribute(std::string_view pAttr, bool pValue) {
  addAttribute(pAttr, TValue::From(pValue));
}

void TMz_XmlElement::addAttribute(std::string_view pAttr, double pValue) {
  addAttribute(pAttr, TValue::From(pValue));
}

void TMz_XmlElement::addAttribute(std::string_view pAttr, float pValue) {
  addAttribute(pAttr, TValue::From(pValue));
}

bool TMz_XmlElement::getAttribute(std::string_view pAttr, TValue& pValue) const {
  const TMz_XmlAttribute* node = attributeNode(pAttr);
  pValue = node ? node->getValue() : TValue();
  return node != nullptr;
}

bool TMz_XmlElement::getAttribute(std::string_view pAttr, std::string& pValue) const {
  const TMz_XmlAttribute* node = attributeNode(pAttr);
  pValue.clear();
  if (!node)
    return false;
  const TValue value = node->getValue();
  if (!value.IsEmpty())
    pValue = value.AsType<std::string>();
  return true;
}

bool TMz_XmlElement::getAttribute(std::string_view pAttr, int32_t& pValue) const {
  const TMz_XmlAttribute* node = attributeNode(pAttr);
  pValue = 0;
  if (!node)
    return false;
  const TValue value = node->getValue();
  if (!value.IsEmpty() && value.Kind() != TTypeKind::tkInteger)
    throw EInvalidCast(messages::InvalidCast);
  pValue = value.AsInteger();
  return true;
}

bool TMz_XmlElement::getAttribute(std::string_view pAttr, bool& pValue) const {
  const TMz_XmlAttribute* node = attributeNode(pAttr);
  pValue = false;
  if (!node)
    return false;
  pValue = node->getValue().AsBoolean();
  return true;
}

bool TMz_XmlElement::getAttribute(std::string_view pAttr, double& pValue) const {
  const TMz_XmlAttribute* node = attributeNode(pAttr);
  if (!node) {
    pValue = 0;
    return false;
  }
  const TValue value = node->getValue();
  if (IsIntegerKind(value.Kind()) || value.Kind() == TTypeKind::tkFloat) {
    pValue = value.AsDouble();
    return true;
  }
  if (value.Kind() != TTypeKind::tkString)
    return false;
  const std::string text = value.AsString();
  const TFormatSettings& format = FormatOf(fDocument);
  double parsed = 0;
  if (TryStrToFloat(text, parsed, format) ||
      TryStrToFloat(StringReplace(text, ",", ".", {TReplaceFlag::rfReplaceAll}), parsed, format)) {
    pValue = parsed;
    return true;
  }
  return false;
}

bool TMz_XmlElement::getAttribute(std::string_view pAttr, float& pValue) const {
  const TMz_XmlAttribute* node = attributeNode(pAttr);
  pValue = 0;
  if (!node)
    return false;
  const TValue value = node->getValue();
  if (!value.IsEmpty() && value.Kind() != TTypeKind::tkFloat && !IsIntegerKind(value.Kind()))
    throw EInvalidCast(messages::InvalidCast);
  pValue = static_cast<float>(value.AsDouble());
  return true;
}

std::string TMz_XmlElement::getAttribute(std::string_view pIndex) const {
  const TMz_XmlAttribute* node = attributeNode(pIndex);
  return node ? RenderValue(node->getValue(), FormatSettingsEnUS()) : std::string();
}

TMz_XmlAttribute* TMz_XmlElement::createAttribute(std::string_view pIndex) {
  if (pIndex.find(':') == std::string_view::npos)
    return TMz_XmlAttribute::Create(fDocument, this, "", pIndex);
  std::vector<std::string> pieces = SplitString(pIndex, ":");
  std::erase_if(pieces, [](const std::string& APiece) { return APiece.empty(); });
  if (pieces.size() < 2)
    throw EMz_XmlParseError(fDocument, nullptr, "invalid attribute name - incomplete namespace declaration");
  return TMz_XmlAttribute::Create(fDocument, this, pieces[0], pieces[1]);
}

void TMz_XmlElement::setAttribute(std::string_view pIndex, std::string_view pValue) {
  TMz_XmlAttribute* node = attributeNode(pIndex);
  if (!node)
    node = createAttribute(pIndex);
  node->setValue(fDocument ? fDocument->StringToValue(pValue) : XmlStringToValue(pValue));
}

std::string TMz_XmlElement::getAttributeRaw(std::string_view pIndex) const {
  const TMz_XmlAttribute* node = attributeNode(pIndex);
  return node ? std::string(node->getRawValue()) : std::string();
}

void TMz_XmlElement::setAttributeRaw(std::string_view pIndex, std::string_view pValue) {
  TMz_XmlAttribute* node = attributeNode(pIndex);
  if (!node)
    node = createAttribute(pIndex);
  node->setRawValue(pValue);
}

void TMz_XmlElement::removeAttribute(TMz_XmlAttribute* pAttr) {
  if (!pAttr)
    return;
  touch();
  if (fTable)
    fTable->Attributes.remove(pAttr->attributeKey());
}

void TMz_XmlElement::clearAttributes() {
  touch();
  if (!fTable)
    return;
  fTable->Attributes.clear();
  fTable->Namespaces.reset();
  TMz_XmlVector<TMz_XmlAttribute*> owned = std::move(fTable->Owned);
  fTable.reset();
  for (TMz_XmlAttribute* node : owned)
    node->Free();
}

void TMz_XmlElement::addNamespace(TMz_XmlNamespace* pNamespace) {
  if (!pNamespace)
    return;
  touch();
  TAttributeTable& attributes = table();
  if (!(pNamespace->fParent == this && owns(pNamespace))) {
    adopt(pNamespace);
    pNamespace->touch();
    attributes.Owned.push_back(pNamespace);
  }
  if (!attributes.Namespaces)
    attributes.Namespaces.reset(NewInSlab<TMz_XmlNodeIndex>());
  if (pNamespace->namespacePrefix().empty())
    attributes.Namespaces->put(pNamespace->name(), pNamespace);
  else
    attributes.Namespaces->put(pNamespace->getQualifiedName(), pNamespace);
}

void TMz_XmlElement::removeNamespace(TMz_XmlNamespace* pNamespace) {
  if (!pNamespace || !fTable || !fTable->Namespaces)
    return;
  touch();
  fTable->Namespaces->remove(pNamespace->getQualifiedName());
}

void TMz_XmlElement::clearNamespaces() {
  touch();
  if (!fTable)
    return;
  TMz_XmlVector<TMz_XmlAttribute*> kept;
  for (TMz_XmlAttribute* node : fTable->Owned) {
    if (!dynamic_cast<TMz_XmlNamespace*>(node)) {
      kept.push_back(node);
      continue;
    }
    fTable->Attributes.removeNode(node);
    if (fTable->Namespaces)
      fTable->Namespaces->removeNode(node);
    node->Free();
  }
  fTable->Owned = std::move(kept);
}

TMz_XmlNamespace* TMz_XmlElement::getNamespace(std::string_view pIndex) const {
  return static_cast<TMz_XmlNamespace*>(namespaces().find(pIndex));
}

// ---- TMz_XmlElement: writing ----------------------------------------------------------------------

void TMz_XmlElement::writeAttributes(TMz_StreamWriter& pStream) const {
  for (const auto& entry : attributes())
    entry.Node->toStream(pStream);
}

void TMz_XmlElement::writeDeclarationAttributes(TMz_StreamWriter& pStream) const {
  static constexpr std::pair<std::string_view, std::string_view> Defaults[] = {
      {"version", " version=\"1.0\""},
      {"encoding", " encoding=\"UTF-8\""},
      {"standalone", " standalone=\"yes\""}};
  for (const auto& [key, text] : Defaults) {
    if (const TMz_XmlAttribute* node = attributeNode(key))
      node->toStream(pStream);
    else
      pStream.write(text);
  }
  // Prefixes declared on the declaration stay declared for the elements below it.
  for (const auto& entry : namespaces())
    entry.Node->toStream(pStream);
}

void TMz_XmlElement::writeChildren(TMz_StreamWriter& pStream) const {
  if (!fNodes || fNodes->empty())
    return;
  // The text is built before anything reaches a stream, so failing here writes nothing.
  const int32_t level = pStream.level();
  if (level >= TMz_XmlDocument::MaxDepth)
    throw EMz_XmlStoringError(pStream.document() ? pStream.document() : fDocument, &pStream,
                              "maximum nesting depth exceeded");
  pStream.setLevel(level + 1);
  for (const TMz_XmlElement* node : *fNodes)
    node->toStream(pStream);
  pStream.setLevel(level);
}

void TMz_XmlNode::writeQualifiedName(TMz_StreamWriter& pStream) const {
  if (fNamespace) {
    pStream.write(fNamespace->view());
    pStream.write(":");
  }
  pStream.write(fName.view());
}

void TMz_XmlElement::toStream(TMz_StreamWriter& pStream) const {
  switch (fKind) {
  case TMz_XmlNodeKind::mzDefault: {
    pStream.write("<", true);
    writeQualifiedName(pStream);
    writeAttributes(pStream);
    const std::string_view value = fValue.view();
    if ((!fNodes || fNodes->empty()) && value.empty()) {
      pStream.write(" />");
      LineBreak(pStream);
      return;
    }
    if (value.find_first_of("<>") != std::string_view::npos)
      throw EMz_XmlStoringError(fDocument, &pStream, "text of element \"%s\" holds \"<\" or \">\"",
                                getQualifiedName());
    pStream.write(">");
    pStream.write(value);
    if (fNodes) {
      LineBreak(pStream);
      pStream.indent();
      writeChildren(pStream);
      pStream.outdent();
    }
    pStream.write("</", fNodes != nullptr);
    writeQualifiedName(pStream);
    pStream.write(">");
    LineBreak(pStream);
    return;
  }
  case TMz_XmlNodeKind::mzDocument:
  case TMz_XmlNodeKind::mzStylesheet:
    pStream.write("<?", true);
    writeQualifiedName(pStream);
    if (fKind == TMz_XmlNodeKind::mzDocument)
      writeDeclarationAttributes(pStream);
    else
      writeAttributes(pStream);
    pStream.write("?>");
    LineBreak(pStream);
    writeChildren(pStream);
    return;
  case TMz_XmlNodeKind::mzData:
    if (fValue.view().find("]]>") != std::string_view::npos)
      throw EMz_XmlStoringError(fDocument, &pStream, "CDATA section holds \"]]>\"");
    pStream.write("<![CDATA[", true);
    pStream.write(fValue.view());
    pStream.write("]]>");
    LineBreak(pStream);
    return;
  case TMz_XmlNodeKind::mzComment:
    if (fValue.view().find("-->") != std::string_view::npos)
      throw EMz_XmlStoringError(fDocument, &pStream, "comment holds \"-->\"");
    pStream.write("<!--", true);
    pStream.write(fValue.view());
    pStream.write("-->");
    LineBreak(pStream);
    return;
  default:
    throw EMz_XmlStoringError(fDocument, &pStream, "invalid node kind");
  }
}

} // namespace vantrel
