// XML: our document's load (decode, parse, build the tree) plus freeing it, against pugixml's
// load_buffer (default flags plus the declaration) plus its destruction, on the same ~20 MB of
// game-data-shaped XML that our own writer makes at start-up with a fixed seed; and our beautified
// save of the parsed tree against pugixml's tab-indented save into memory. Prints the ratios of
// our throughput to the peer's and the peak bytes of our tree per input byte.
// Memory: our nodes, their names, values, child lists and attribute tables come from 64 KiB slabs
// of the runtime (json_pool) that belong to the loaded tree alone, so the unchanged tree is freed
// by handing its slabs back at once; freed slabs stay in a process-wide cache (1,024 of them) for
// the next load, the rest go back to the general heap. UTF-8 bytes in memory
// are parsed as they are, without a decoded copy. A save renders into a per-thread buffer kept
// from the last save, then copies the text into the result. pugixml parses in place in a copy of
// the buffer and allocates its nodes from its own pages.

#include <benchmark/benchmark.h>

#include "support/bench_setup.h"

#include <pugixml.hpp>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "rtl/streams.h"
#include "utils/Vantrel.Utils.Language.h"
#include "xml/Vantrel.Xml.Document.h"

namespace {

using namespace vantrel;

constexpr int Repetitions = 7;

// Keeps the real time of every repetition, so each ratio comes from this very run: the ratio of the
// medians, with the medians' throughput, and the ratio of the minima beside it.
class TMedianReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& AReports) override {
    for (const Run& run : AReports)
      if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
        FMilliseconds[run.run_name.function_name].push_back(run.GetAdjustedRealTime());
        FCpuMilliseconds[run.run_name.function_name].push_back(run.GetAdjustedCPUTime());
      }
    ConsoleReporter::ReportRuns(AReports);
  }

  // Peer time / our time; AOurBytes and APeerBytes give the throughput in MB/s. False when the
  // ratio of the medians misses ATarget.
  bool PrintRatio(const char* AOurs, const char* APeer, const char* AWhat, size_t AOurBytes,
                  size_t APeerBytes, double ATarget) {
    std::vector<double>& ours = FMilliseconds[AOurs];
    std::vector<double>& peer = FMilliseconds[APeer];
    if (ours.empty() || peer.empty())
      return true;
    const double oursMedian = Median(ours), peerMedian = Median(peer);
    const double oursMin = *std::min_element(ours.begin(), ours.end());
    const double peerMin = *std::min_element(peer.begin(), peer.end());
    const auto mbs = [](size_t ABytes, double AMs) {
      return static_cast<double>(ABytes) / 1e6 / (AMs / 1e3);
    };
    std::printf(
        "%s (median of %zu, minimum in brackets): ours %.1f ms (%.1f) = %.0f MB/s, peer %.1f ms (%.1f) = "
        "%.0f MB/s, ratio %.3fx (%.3fx), target >= %.2fx%s\n",
        AWhat, ours.size(), oursMedian, oursMin, mbs(AOurBytes, oursMedian), peerMedian, peerMin,
        mbs(APeerBytes, peerMedian), peerMedian / oursMedian, peerMin / oursMin, ATarget,
        peerMedian / oursMedian >= ATarget ? "" : "  BELOW TARGET");
    // CPU time of the benchmark thread: on a shared machine it leaves out the time spent waiting
    // for a core, though not the slower memory that other work causes.
    std::vector<double>& oursCpu = FCpuMilliseconds[AOurs];
    std::vector<double>& peerCpu = FCpuMilliseconds[APeer];
    std::printf("  in CPU time: ours %.1f ms (%.1f), peer %.1f ms (%.1f), ratio %.3fx (%.3fx)\n", Median(oursCpu),
                *std::min_element(oursCpu.begin(), oursCpu.end()), Median(peerCpu),
                *std::min_element(peerCpu.begin(), peerCpu.end()), Median(peerCpu) / Median(oursCpu),
                *std::min_element(peerCpu.begin(), peerCpu.end()) /
                    *std::min_element(oursCpu.begin(), oursCpu.end()));
    return peerMedian / oursMedian >= ATarget;
  }

private:
  std::map<std::string, std::vector<double>> FMilliseconds;
  std::map<std::string, std::vector<double>> FCpuMilliseconds;

  static double Median(std::vector<double>& AValues) {
    std::sort(AValues.begin(), AValues.end());
    const size_t middle = AValues.size() / 2;
    return AValues.size() % 2 ? AValues[middle] : (AValues[middle - 1] + AValues[middle]) / 2;
  }
};

void AddItem(TMz_XmlDocument& ADocument, TMz_XmlElement* AParent, std::mt19937& ARandom, int ADepth) {
  std::uniform_int_distribution<int> count(2, 6), number(-100000, 100000), coin(0, 1);
  auto* item = TMz_XmlElement::Create(&ADocument, AParent, "", ADepth == 1 ? "group" : "item");
  const int attributes = count(ARandom);
  item->setAttributeRaw("id", "item_" + std::to_string(number(ARandom) & 0xFFFF));
  for (int i = 1; i < attributes; ++i) {
    switch (i % 3) {
    case 0:
      item->addAttribute("count" + std::to_string(i), number(ARandom));
      break;
    case 1:
      item->addAttribute("weight" + std::to_string(i), number(ARandom) / 997.0);
      break;
    default:
      item->addAttribute("enabled" + std::to_string(i), coin(ARandom) == 1);
    }
  }
  TVantrelLanguageMap name;
  name.Add("en-us", "Sword of the " + std::to_string(number(ARandom)) + " winds");
  name.Add("de-de", "Schwert der " + std::to_string(number(ARandom)) + " Winde \xC3\xA4\xC3\xB6\xC3\xBC");
  name.ToXml(coin(ARandom) ? "name" : "text", true, item);
  if (coin(ARandom))
    TMz_XmlElement::Create(&ADocument, item, "", "value")->setRawValue(std::to_string(number(ARandom)));
  if (ADepth < 6 && (ADepth < 3 || coin(ARandom)))
    for (int i = count(ARandom) / 2; i > 0; --i)
      AddItem(ADocument, item, ARandom, ADepth + 1);
}

const TBytes& Input() {
  static const TBytes bytes = [] {
    TMz_XmlDocument document;
    auto* root = TMz_XmlElement::Create(&document, nullptr, "", "xml");
    root->setKind(TMz_XmlNodeKind::mzDocument);
    document.setRoot(root);
    auto* top = TMz_XmlElement::Create(&document, root, "", "inventory");
    std::mt19937 random(20241211);
    // Grows in batches of groups sized from the text the first batch makes.
    size_t batch = 64;
    for (size_t size = 0; size < (20u << 20); size = document.saveToString(true).size()) {
      for (size_t i = 0; i < batch; ++i)
        AddItem(document, TMz_XmlElement::Create(&document, top, "", "groups"), random, 1);
      const size_t perGroup = std::max<size_t>(1, document.saveToString(true).size() / top->nodes()->size());
      batch = std::max<size_t>(
          1, ((20u << 20) - std::min<size_t>(20u << 20, perGroup * top->nodes()->size())) / perGroup + 1);
    }
    return document.saveToBytes(true);
  }();
  return bytes;
}

TMz_XmlDocument& Parsed() {
  static TMz_XmlDocument document;
  if (!document.root())
    document.loadFromBytes(Input());
  return document;
}

void BM_XmlParse_Ours(benchmark::State& AState) {
  const TBytes& input = Input();
  for (auto _ : AState) {
    TMz_XmlDocument document;
    document.loadFromBytes(input);
    benchmark::DoNotOptimize(document.root());
  }
  AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * input.size()));
}
BENCHMARK(BM_XmlParse_Ours)->Unit(benchmark::kMillisecond)->Repetitions(Repetitions);

void BM_XmlParse_Pugixml(benchmark::State& AState) {
  const TBytes& input = Input();
  for (auto _ : AState) {
    pugi::xml_document document;
    if (!document.load_buffer(input.data(), input.size(), pugi::parse_default | pugi::parse_declaration,
                              pugi::encoding_utf8))
      AState.SkipWithError("pugixml failed");
    benchmark::DoNotOptimize(document.first_child());
  }
  AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * input.size()));
}
BENCHMARK(BM_XmlParse_Pugixml)->Unit(benchmark::kMillisecond)->Repetitions(Repetitions);

void BM_XmlWrite_Ours(benchmark::State& AState) {
  TMz_XmlDocument& document = Parsed();
  size_t bytes = 0;
  for (auto _ : AState) {
    const TBytes text = document.saveToBytes(true);
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * bytes));
}
BENCHMARK(BM_XmlWrite_Ours)->Unit(benchmark::kMillisecond)->Repetitions(Repetitions);

struct TStringWriter : pugi::xml_writer {
  std::string Text;
  void write(const void* AData, size_t ASize) override {
    Text.append(static_cast<const char*>(AData), ASize);
  }
};

void BM_XmlWrite_Pugixml(benchmark::State& AState) {
  const TBytes& input = Input();
  pugi::xml_document document;
  document.load_buffer(input.data(), input.size(), pugi::parse_default | pugi::parse_declaration,
                       pugi::encoding_utf8);
  size_t bytes = 0;
  for (auto _ : AState) {
    TStringWriter writer;
    document.save(writer, "\t");
    bytes = writer.Text.size();
    benchmark::DoNotOptimize(writer.Text.data());
  }
  AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * bytes));
}
BENCHMARK(BM_XmlWrite_Pugixml)->Unit(benchmark::kMillisecond)->Repetitions(Repetitions);

// The bytes a loaded tree holds, counted node by node: the node objects, their child lists and
// their tables, plus the tree's copy of the input, which its names and values view (a parse copies
// a text apart only when it joins pieces or replaces ill-formed UTF-8, which this input never
// needs). The load's peak adds the caller's input and nothing else, since UTF-8 bytes in memory
// are parsed without a decoded copy.
size_t NodeBytes(const TMz_XmlNode&, size_t AObject) {
  return AObject;
}

// An index head (entries, sorted view, copy count), the namespace index's pointer and the owning
// list's head.
constexpr size_t AttributeTableBytes = sizeof(TMz_XmlNodeIndex) + 8 + sizeof(TMz_XmlVector<void*>);

// The entries a table holds room for as it grew while parsing (one, four, then doubling).
size_t AttributeEntries(const TMz_XmlNodeIndex& AIndex) {
  const size_t size = AIndex.size();
  return size <= 1 ? size : size <= 4 ? 4 : std::bit_ceil(size);
}

double TreeBytesPerInputByte() {
  TMz_XmlDocument document;
  document.loadFromBytes(Input());
  size_t bytes = 0;
  std::vector<const TMz_XmlElement*> pending{dynamic_cast<const TMz_XmlElement*>(document.root())};
  while (!pending.empty()) {
    const TMz_XmlElement* element = pending.back();
    pending.pop_back();
    bytes += NodeBytes(*element, sizeof(TMz_XmlElement));
    // The attribute table of an element that has one (two indexes' heads and the owning list's),
    // its entries (a key view and a node) and the owning list's pointers, counted at capacity.
    if (!element->attributes().empty() || !element->namespaces().empty()) {
      bytes += AttributeTableBytes;
      bytes += AttributeEntries(element->attributes()) * (sizeof(TMz_XmlNodeIndex::TEntry) + 8);
      bytes += AttributeEntries(element->namespaces()) * sizeof(TMz_XmlNodeIndex::TEntry);
    }
    for (const auto& entry : element->attributes())
      bytes += NodeBytes(*entry.Node, sizeof(TMz_XmlNamespace));
    if (const TMz_XmlNodes* children = element->nodes()) {
      bytes += sizeof(TMz_XmlNodes) + children->capacity() * sizeof(TMz_XmlElement*);
      pending.insert(pending.end(), children->begin(), children->end());
    }
  }
  return static_cast<double>(bytes + Input().size()) / static_cast<double>(Input().size());
}

} // namespace

int main(int argc, char** argv) {
  vbench::SetAllocatorRegime();
  benchmark::Initialize(&argc, argv);
  std::printf("XML document: %zu bytes\n", Input().size());
  std::printf("Our tree: %.2f bytes per input byte (peak of a load: that plus the input)\n",
              TreeBytesPerInputByte());
  TMedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const size_t input = Input().size();
  const size_t ourText = Parsed().saveToBytes(true).size();
  pugi::xml_document peer;
  peer.load_buffer(Input().data(), input, pugi::parse_default | pugi::parse_declaration, pugi::encoding_utf8);
  TStringWriter peerText;
  peer.save(peerText, "\t");
  std::printf("Allocation: our nodes, texts, child lists and tables from the loaded tree's own slabs (from the "
              "runtime's slab cache, warm after the first load), freed as a whole; saves render into a reused "
              "per-thread buffer.\n");
  const bool parseMet = reporter.PrintRatio("BM_XmlParse_Ours", "BM_XmlParse_Pugixml",
                                            "XML parse (DOM, load + free)", input, input, 0.5);
  const bool writeMet = reporter.PrintRatio("BM_XmlWrite_Ours", "BM_XmlWrite_Pugixml",
                                            "XML write (beautified, into memory)", ourText, peerText.Text.size(), 0.5);
  benchmark::Shutdown();
  return parseMet && writeMet ? 0 : 1;
}
