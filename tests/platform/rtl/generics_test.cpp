#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "rtl/generics.h"

namespace {

using rtl::TCollectionNotification;

// An object that records when it is freed; ASan reports any double free or leak.
class TTracked : public rtl::TObject {
public:
  explicit TTracked(std::string AName, std::vector<std::string>* AFreed = nullptr)
      : Name(std::move(AName)), FFreed(AFreed) {}
  ~TTracked() override {
    if (FFreed)
      FFreed->push_back(Name);
  }
  std::string Name;

private:
  std::vector<std::string>* FFreed;
};

const char* ActionText(TCollectionNotification AAction) {
  switch (AAction) {
  case TCollectionNotification::cnAdded:
    return "+";
  case TCollectionNotification::cnRemoved:
    return "-";
  case TCollectionNotification::cnExtracted:
    return "^";
  }
  return "?";
}

template <class T> std::vector<T> Items(const rtl::TList<T>& AList) {
  return {AList.begin(), AList.end()};
}

template <class TException>
void ExpectRaises(const std::function<void()>& AAction, const std::string& AMessage) {
  try {
    AAction();
    ADD_FAILURE() << "expected " << AMessage;
  } catch (const TException& e) {
    EXPECT_EQ(e.Message(), AMessage);
  }
}

// ---------------------------------------------------------------- lists

TEST(List, ChangesAreNotifiedInOrder) {
  rtl::TList<int> list;
  std::vector<std::string> log;
  list.SetOnNotify([&](const int& AItem, TCollectionNotification AAction) {
    log.push_back(ActionText(AAction) + std::to_string(AItem));
  });
  list.Add(1);
  list.Add(2);
  list.Insert(0, 3);
  list.SetItem(1, 4);
  EXPECT_EQ(list.Extract(2), 2);
  EXPECT_EQ(list.Remove(9), -1);
  list.Add(5);
  list.Delete(0);
  EXPECT_EQ(Items(list), (std::vector<int>{4, 5}));
  list.Clear();
  EXPECT_EQ(log, (std::vector<std::string>{"+1", "+2", "+3", "-1", "+4", "^2", "+5", "-3", "-4", "-5"}));
}

TEST(List, RearrangesItems) {
  struct TCase {
    const char* Name;
    std::function<void(rtl::TList<int>&)> Action;
    std::vector<int> Expected;
  };
  const TCase cases[] = {
      {"move forward", [](auto& l) { l.Move(0, 3); }, {1, 2, 3, 0, 4}},
      {"move back", [](auto& l) { l.Move(4, 1); }, {0, 4, 1, 2, 3}},
      {"exchange", [](auto& l) { l.Exchange(0, 4); }, {4, 1, 2, 3, 0}},
      {"sort descending", [](auto& l) { l.Sort([](int a, int b) { return b - a; }); }, {4, 3, 2, 1, 0}},
      {"delete range", [](auto& l) { l.DeleteRange(1, 3); }, {0, 4}},
      {"insert at end", [](auto& l) { l.Insert(5, 9); }, {0, 1, 2, 3, 4, 9}},
  };
  for (const TCase& c : cases) {
    rtl::TList<int> list{0, 1, 2, 3, 4};
    c.Action(list);
    EXPECT_EQ(Items(list), c.Expected) << c.Name;
  }
}

TEST(List, SortIsStable) {
  rtl::TList<std::pair<int, char>> list{{1, 'a'}, {0, 'b'}, {1, 'c'}, {0, 'd'}};
  list.Sort([](const auto& a, const auto& b) { return a.first - b.first; });
  EXPECT_EQ(Items(list), (std::vector<std::pair<int, char>>{{0, 'b'}, {0, 'd'}, {1, 'a'}, {1, 'c'}}));
}

TEST(List, BadIndexRaisesArgumentOutOfRange) {
  const std::vector<std::pair<const char*, std::function<void(rtl::TList<int>&)>>> cases = {
      {"read -1", [](auto& l) { (void)l[-1]; }},
      {"read Count", [](auto& l) { (void)l[3]; }},
      {"delete Count", [](auto& l) { l.Delete(3); }},
      {"insert past end", [](auto& l) { l.Insert(4, 0); }},
      {"set Count", [](auto& l) { l.SetItem(3, 0); }},
      {"exchange", [](auto& l) { l.Exchange(0, 3); }},
      {"move", [](auto& l) { l.Move(3, 0); }},
      {"delete range", [](auto& l) { l.DeleteRange(2, 2); }},
      {"first of empty", [](auto& l) { l.Clear(), (void)l.First(); }},
      {"last of empty", [](auto& l) { l.Clear(), (void)l.Last(); }},
  };
  for (const auto& [name, action] : cases) {
    SCOPED_TRACE(name);
    rtl::TList<int> list{1, 2, 3};
    ExpectRaises<rtl::EArgumentOutOfRangeException>([&] { action(list); }, "Argument out of range");
  }
}

TEST(ObjectList, FreesWhatItOwnsAndHandsOutExtracted) {
  std::vector<std::string> freed;
  auto make = [&](const char* AName) { return rtl::New<TTracked>(AName, &freed); };
  TTracked* extracted = nullptr;
  {
    rtl::TObjectList<TTracked> list;
    TTracked* b = make("b");
    TTracked* c = make("c");
    TTracked* e = make("e");
    list.AddRange({make("a"), b, c, make("d"), e});
    list.Delete(0);
    list.Remove(b);
    extracted = list.Extract(c);
    list.SetItem(0, make("d2"));
    list.SetItem(0, list[0]); // the same object again: kept, not freed
    EXPECT_EQ(freed, (std::vector<std::string>{"a", "b", "d"}));
    EXPECT_EQ(list[0]->Name, "d2");

    list.SetOwnsObjects(false);
    list.Remove(e);
    list.SetOwnsObjects(true);
    e->Free();
  }
  EXPECT_EQ(freed, (std::vector<std::string>{"a", "b", "d", "e", "d2"}));
  EXPECT_EQ(extracted->Name, "c");
  extracted->Free();
}

TEST(StackAndQueue, KeepTheirOrderAndRaiseWhenEmpty) {
  rtl::TStack<int> stack;
  rtl::TQueue<int> queue;
  for (int i = 1; i <= 3; ++i) {
    stack.Push(i);
    queue.Enqueue(i);
  }
  EXPECT_EQ(stack.Peek(), 3);
  EXPECT_EQ(queue.Peek(), 1);
  std::vector<int> popped, dequeued;
  while (!stack.IsEmpty())
    popped.push_back(stack.Pop());
  while (queue.Count() > 0)
    dequeued.push_back(queue.Dequeue());
  EXPECT_EQ(popped, (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(dequeued, (std::vector<int>{1, 2, 3}));

  ExpectRaises<rtl::EListError>([&] { stack.Pop(); }, "Stack is empty");
  ExpectRaises<rtl::EListError>([&] { (void)stack.Peek(); }, "Stack is empty");
  ExpectRaises<rtl::EListError>([&] { queue.Dequeue(); }, "Queue is empty");
  ExpectRaises<rtl::EListError>([&] { (void)queue.Peek(); }, "Queue is empty");
}

TEST(ThreadList, AddsFromManyThreadsWithoutDuplicates) {
  rtl::TThreadList<int> list;
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w)
    workers.emplace_back([&] {
      for (int i = 0; i < 500; ++i)
        list.Add(i);
    });
  for (std::thread& worker : workers)
    worker.join();
  {
    auto locked = list.Locked();
    EXPECT_EQ(locked->Count(), 500);
    list.Add(500); // the lock is re-entrant
    EXPECT_EQ(locked->Last(), 500);
  }
  list.SetDuplicates(rtl::TDuplicates::dupError);
  ExpectRaises<rtl::EListError>([&] { list.Add(7); }, "Duplicates not allowed");
  list.Remove(7);
  EXPECT_FALSE(list.LockList().Contains(7));
  list.UnlockList();
}

// ---------------------------------------------------------------- dictionaries

std::string KeyOrder(const rtl::TStringDictionary<int>& ADictionary) {
  std::string order;
  for (const auto& [key, value] : ADictionary)
    order += key + "=" + std::to_string(value) + " ";
  return order;
}

TEST(Dictionary, InsertionOrderSurvivesRemovalAndReinsertion) {
  // Script: "+k" adds k, "-k" removes it, "=k" adds or sets it; each step's value is its position.
  struct TCase {
    std::vector<std::string> Script;
    std::string Expected;
  };
  const TCase cases[] = {
      {{"+a", "+b", "+c", "-b", "+b"}, "a=0 c=2 b=4 "},
      {{"+a", "+b", "+c", "-c", "+d"}, "a=0 b=1 d=4 "},
      {{"+a", "+b", "=a"}, "a=2 b=1 "},
      {{"+a", "+b", "-a", "-b", "+b", "=a"}, "b=4 a=5 "},
      {{"+x", "-x", "+x", "-x", "+y"}, "y=4 "},
  };
  for (const TCase& c : cases) {
    rtl::TStringDictionary<int> dictionary;
    for (int step = 0; step < static_cast<int>(c.Script.size()); ++step) {
      const std::string key = c.Script[step].substr(1);
      switch (c.Script[step][0]) {
      case '+':
        dictionary.Add(key, step);
        break;
      case '-':
        EXPECT_TRUE(dictionary.Remove(key));
        break;
      default:
        dictionary.AddOrSetValue(key, step);
      }
    }
    EXPECT_EQ(KeyOrder(dictionary), c.Expected);
  }
}

// Random operations checked against a plain vector of pairs, across index growth, tombstones,
// compaction and probe chains that deletions must close.
TEST(Dictionary, MatchesAnOrderedReferenceUnderRandomOperations) {
  std::mt19937 random(20240611);
  rtl::TStringDictionary<int> dictionary;
  std::vector<std::pair<std::string, int>> reference;
  auto findReference = [&](const std::string& AKey) {
    return std::find_if(reference.begin(), reference.end(), [&](const auto& p) { return p.first == AKey; });
  };
  for (int step = 0; step < 40000; ++step) {
    const int keySpace = step < 20000 ? 3000 : 40;
    const std::string key = "k" + std::to_string(random() % keySpace);
    const auto found = findReference(key);
    switch (random() % 4) {
    case 0:
    case 1:
      EXPECT_EQ(dictionary.TryAdd(key, step), found == reference.end());
      if (found == reference.end())
        reference.emplace_back(key, step);
      break;
    case 2:
      dictionary.AddOrSetValue(key, step);
      if (found == reference.end())
        reference.emplace_back(key, step);
      else
        found->second = step;
      break;
    default:
      EXPECT_EQ(dictionary.Remove(key), found != reference.end());
      if (found != reference.end())
        reference.erase(found);
    }
    if (step % 997 != 0)
      continue;
    ASSERT_EQ(dictionary.Count(), static_cast<int>(reference.size()));
    std::vector<std::pair<std::string, int>> actual;
    for (const auto& [k, v] : dictionary)
      actual.emplace_back(k, v);
    ASSERT_EQ(actual, reference) << "step " << step;
    for (const auto& [k, v] : reference)
      ASSERT_EQ(dictionary.Items(k), v) << k;
  }
}

TEST(Dictionary, MissingAndDuplicateKeysRaise) {
  rtl::TStringDictionary<int> dictionary;
  dictionary.Add("a", 1);
  ExpectRaises<rtl::EListError>([&] { dictionary.Add("a", 2); }, "Duplicates not allowed");
  ExpectRaises<rtl::EListError>([&] { (void)dictionary.Items("b"); }, "Item not found");
  ExpectRaises<rtl::EListError>([&] { dictionary.SetItem("b", 1); }, "Item not found");
  EXPECT_EQ(dictionary.Items("a"), 1);
  int value = 0;
  EXPECT_FALSE(dictionary.TryGetValue("b", value));
  EXPECT_FALSE(dictionary.Remove("b"));
  EXPECT_FALSE(dictionary.ExtractPair("b").has_value());
}

TEST(Dictionary, FindsStringKeysByViewAndOptionallyIgnoringCase) {
  rtl::TStringDictionary<int> exact;
  rtl::TCaseInsensitiveDictionary<int> folded;
  for (const char* key : {"Position", "Scale", "RollAngle"}) {
    exact.Add(key, static_cast<int>(exact.Count()));
    folded.Add(key, static_cast<int>(folded.Count()));
  }
  const std::string_view text = "xx.Scale.yy";
  EXPECT_EQ(exact.Items(text.substr(3, 5)), 1);
  EXPECT_FALSE(exact.ContainsKey(std::string_view("position")));
  EXPECT_EQ(folded.Items(std::string_view("POSITION")), 0);
  EXPECT_EQ(folded.Items("rollangle"), 2);
  ExpectRaises<rtl::EListError>([&] { folded.Add("SCALE", 9); }, "Duplicates not allowed");
  folded.AddOrSetValue("SCALE", 9);
  EXPECT_EQ(folded.Keys().ToArray(), (std::vector<std::string>{"Position", "Scale", "RollAngle"}));
  EXPECT_EQ(folded.Values().ToArray(), (std::vector<int>{0, 9, 2}));
}

TEST(Dictionary, ReportsKeysAndValuesIncludingReplacement) {
  std::vector<std::string> log;
  rtl::TStringDictionary<int> dictionary;
  dictionary.SetOnKeyNotify([&](const std::string& AKey, TCollectionNotification AAction) {
    log.push_back(std::string("key") + ActionText(AAction) + AKey);
  });
  dictionary.SetOnValueNotify([&](const int& AValue, TCollectionNotification AAction) {
    log.push_back(std::string("value") + ActionText(AAction) + std::to_string(AValue));
  });
  dictionary.Add("a", 1);
  dictionary.AddOrSetValue("a", 2);
  dictionary.SetItem("a", 3);
  dictionary.Add("b", 4);
  dictionary.Add("c", 5);
  EXPECT_EQ(dictionary.ExtractPair("b")->Value, 4);
  dictionary.Remove("a");
  dictionary.Add("d", 6);
  dictionary.Clear();
  EXPECT_EQ(log, (std::vector<std::string>{"key+a",   "value+1", "value-1", "value+2", "value-2",
                                           "value+3", "key+b",   "value+4", "key+c",   "value+5",
                                           "key^b",   "value^4", "key-a",   "value-3", "key+d",
                                           "value+6", "key-c",   "value-5", "key-d",   "value-6"}));
}

TEST(ObjectDictionary, FreesOwnedValuesOnRemovalReplacementAndDestruction) {
  std::vector<std::string> freed;
  auto make = [&](const char* AName) { return rtl::New<TTracked>(AName, &freed); };
  TTracked* extracted = nullptr;
  {
    std::vector<std::string> notified; // outlives the dictionary, whose destruction still reports
    rtl::TObjectDictionary<std::string, TTracked*> dictionary({rtl::TDictionaryOwnership::doOwnsValues});
    dictionary.SetOnValueNotify([&](TTracked* const& AValue, TCollectionNotification AAction) {
      notified.push_back(ActionText(AAction) + AValue->Name);
    });
    dictionary.Add("one", make("one"));
    dictionary.AddOrSetValue("one", make("one'"));
    dictionary.AddOrSetValue("one", dictionary.Items("one")); // the same object again: kept
    dictionary.Add("two", make("two"));
    dictionary.Add("three", make("three"));
    dictionary.Remove("two");
    extracted = dictionary.ExtractPair("three")->Value;
    dictionary.Add("four", make("four"));
    EXPECT_EQ(freed, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(notified, (std::vector<std::string>{"+one", "-one", "+one'", "+two", "+three", "-two", "^three",
                                                  "+four"}));
  }
  EXPECT_EQ(freed, (std::vector<std::string>{"one", "two", "one'", "four"}));
  extracted->Free();
}

TEST(ObjectDictionary, FreesOwnedKeysAndRefusesToOwnPlainValues) {
  std::vector<std::string> freed;
  {
    rtl::TObjectDictionary<TTracked*, int> dictionary({rtl::TDictionaryOwnership::doOwnsKeys});
    TTracked* first = rtl::New<TTracked>("first", &freed);
    dictionary.Add(first, 1);
    dictionary.Add(rtl::New<TTracked>("second", &freed), 2);
    dictionary.Remove(first);
    EXPECT_EQ(freed, std::vector<std::string>{"first"});
  }
  EXPECT_EQ(freed, (std::vector<std::string>{"first", "second"}));
  EXPECT_THROW((rtl::TObjectDictionary<std::string, int>({rtl::TDictionaryOwnership::doOwnsValues})),
               rtl::EInvalidCast);
}

} // namespace
