// XML: our document's load (decode, parse, build the tree) plus freeing it, against pugixml's
// load_buffer (default flags plus the declaration) plus its destruction, on the same ~20 MB of
// game-data-shaped XML that our own writer makes at start-up with a fixed seed; and our beautified
// save of the parsed tree against pugixml's tab-indented save into memory. Prints the ratios of
// our throughput to the peer's and the peak bytes of our tree per input byte.
// Memory: our nodes come from the runtime's 64 KiB slabs, whose freed slabs stay in a process-wide
// cache for the next load, and the reader decodes the whole input into one UTF-16 buffer; names
// and values are std::string (short ones inline). pugixml parses in place in a copy of the buffer
// and allocates its nodes from its own pages.

#include <benchmark/benchmark.h>

#include "support/bench_setup.h"

#include "support/ratio_reporter.h"
#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "rtl/streams.h"
#include "utils/Vantrel.Utils.Language.h"
#include "xml/Vantrel.Xml.Document.h"

namespace {

using namespace vantrel;

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
BENCHMARK(BM_XmlParse_Ours)->Unit(benchmark::kMillisecond);

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
BENCHMARK(BM_XmlParse_Pugixml)->Unit(benchmark::kMillisecond);

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
BENCHMARK(BM_XmlWrite_Ours)->Unit(benchmark::kMillisecond);

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
BENCHMARK(BM_XmlWrite_Pugixml)->Unit(benchmark::kMillisecond);

// Resident bytes the loaded tree adds (the reader's buffer is gone by then).
double TreeBytesPerInputByte() {
  const auto resident = [] {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, rss = 0;
    statm >> pages >> rss;
    return static_cast<double>(rss) * 4096.0;
  };
  const double before = resident();
  TMz_XmlDocument document;
  document.loadFromBytes(Input());
  return (resident() - before) / static_cast<double>(Input().size());
}

} // namespace

int main(int argc, char** argv) {
  vbench::SetAllocatorRegime();
  benchmark::Initialize(&argc, argv);
  std::printf("XML document: %zu bytes\n", Input().size());
  std::printf("Our tree: %.2f resident bytes per input byte\n", TreeBytesPerInputByte());
  vbench::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("BM_XmlParse_Ours", "BM_XmlParse_Pugixml", "XML parse (DOM, load + free)", 0.5);
  reporter.PrintRatio("BM_XmlWrite_Ours", "BM_XmlWrite_Pugixml", "XML write (beautified, into memory)", 0.5);
  benchmark::Shutdown();
  return 0;
}
