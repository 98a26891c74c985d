#define EGL_NO_X11
#include "gl/names.h"

#include <epoxy/gl.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "gl/egl_context.h"

namespace gl {
namespace {

constexpr const char* KindTexts[NameKindCount] = {"texture", "buffer", "frame buffer", "render buffer",
                                                  "program", "shader", "vertex array", "query"};

// Constant-initialised, so names made or freed during static initialisation or destruction count.
constinit std::array<std::atomic<int64_t>, NameKindCount> GLive{};
// A thread is known by the address of its own copy of GThreadMark: comparing two pointers is
// the whole cost of the thread check.
thread_local char GThreadMark;
constinit std::atomic<const char*> GContextThread{nullptr};

struct TDeferredName {
  TNameKind Kind;
  uint32_t Name;
};

struct TDeferredQueue {
  std::mutex Lock;
  std::vector<TDeferredName> Names;
  std::atomic<int> Count{0};
};

TDeferredQueue& Deferred() {
  // Never destroyed: loader threads may still hand names over during static destruction.
  static auto* queue = new TDeferredQueue;
  return *queue;
}

std::atomic<int64_t>& Live(TNameKind AKind) {
  return GLive[static_cast<size_t>(AKind)];
}

void DeleteNow(TNameKind AKind, GLuint AName) {
  switch (AKind) {
  case TNameKind::Texture:
    glDeleteTextures(1, &AName);
    break;
  case TNameKind::Buffer:
    glDeleteBuffers(1, &AName);
    break;
  case TNameKind::FrameBuffer:
    glDeleteFramebuffers(1, &AName);
    break;
  case TNameKind::RenderBuffer:
    glDeleteRenderbuffers(1, &AName);
    break;
  case TNameKind::Program:
    glDeleteProgram(AName);
    break;
  case TNameKind::Shader:
    glDeleteShader(AName);
    break;
  case TNameKind::VertexArray:
    glDeleteVertexArrays(1, &AName);
    break;
  case TNameKind::Query:
    glDeleteQueries(1, &AName);
    break;
  }
  Live(AKind).fetch_sub(1, std::memory_order_relaxed);
}

} // namespace

const char* NameKindText(TNameKind AKind) {
  const auto index = static_cast<size_t>(AKind);
  return index < NameKindCount ? KindTexts[index] : "unknown";
}

bool IsContextCurrent() {
  return GContextThread.load(std::memory_order_relaxed) == &GThreadMark;
}

void SetContextThread(bool ACurrentHere) {
  GContextThread.store(ACurrentHere ? &GThreadMark : nullptr);
}

int64_t LiveNames(TNameKind AKind) {
  return Live(AKind).load(std::memory_order_relaxed);
}

TNameCounts LiveNameCounts() {
  TNameCounts counts{};
  for (int kind = 0; kind < NameKindCount; ++kind)
    counts[size_t(kind)] = LiveNames(static_cast<TNameKind>(kind));
  return counts;
}

std::string DescribeNameSurplus(const TNameCounts& ABefore, const TNameCounts& ANow) {
  std::string text;
  for (size_t kind = 0; kind < NameKindCount; ++kind) {
    if (ANow[kind] <= ABefore[kind])
      continue;
    if (!text.empty())
      text += ", ";
    text += std::to_string(ANow[kind] - ABefore[kind]) + " " + KindTexts[kind];
  }
  return text;
}

uint32_t GenerateName(TNameKind AKind) {
  GLuint name = 0;
  switch (AKind) {
  case TNameKind::Texture:
    glGenTextures(1, &name);
    break;
  case TNameKind::Buffer:
    glGenBuffers(1, &name);
    break;
  case TNameKind::FrameBuffer:
    glGenFramebuffers(1, &name);
    break;
  case TNameKind::RenderBuffer:
    glGenRenderbuffers(1, &name);
    break;
  case TNameKind::VertexArray:
    glGenVertexArrays(1, &name);
    break;
  case TNameKind::Query:
    glGenQueries(1, &name);
    break;
  case TNameKind::Program:
    return CreateProgramName();
  case TNameKind::Shader:
    return 0;
  }
  if (name != 0)
    CountGeneratedName(AKind);
  return name;
}

uint32_t CreateProgramName() {
  const GLuint name = glCreateProgram();
  if (name != 0)
    CountGeneratedName(TNameKind::Program);
  return name;
}

uint32_t CreateShaderName(uint32_t AStage) {
  const GLuint name = glCreateShader(AStage);
  if (name != 0)
    CountGeneratedName(TNameKind::Shader);
  return name;
}

void CountGeneratedName(TNameKind AKind) {
  Live(AKind).fetch_add(1, std::memory_order_relaxed);
}

void DeleteName(TNameKind AKind, uint32_t AName) {
  if (AName == 0)
    return;
  if (IsContextCurrent()) {
    DeleteNow(AKind, AName);
    return;
  }
  if (!HasContext()) {
    Live(AKind).fetch_sub(1, std::memory_order_relaxed);
    return;
  }
  auto& queue = Deferred();
  std::lock_guard guard(queue.Lock);
  queue.Names.push_back({AKind, AName});
  queue.Count.store(int(queue.Names.size()));
}

void DrainDeferredNames() {
  auto& queue = Deferred();
  if (queue.Count.load(std::memory_order_relaxed) == 0 || !IsContextCurrent())
    return;
  std::vector<TDeferredName> names;
  {
    std::lock_guard guard(queue.Lock);
    names.swap(queue.Names);
    queue.Count.store(0);
  }
  for (const TDeferredName& name : names)
    DeleteNow(name.Kind, name.Name);
}

int DeferredNameCount() {
  return Deferred().Count.load();
}

void ForgetDeferredNames() {
  auto& queue = Deferred();
  std::lock_guard guard(queue.Lock);
  for (const TDeferredName& name : queue.Names)
    Live(name.Kind).fetch_sub(1, std::memory_order_relaxed);
  queue.Names.clear();
  queue.Count.store(0);
}

} // namespace gl
