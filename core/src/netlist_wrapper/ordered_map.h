// A map that keeps its entries in insertion order, with lookups by string view.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexolin {

/// Insertion-ordered map from text to V. Small maps are searched directly; from
/// kIndexThreshold entries on, an open-addressing table of entry positions is kept, so a lookup
/// never allocates and never copies the key.
template <class V>
class OrderedMap {
 public:
  using Entry = std::pair<std::string, V>;

  /// The value under `key`, or nullptr.
  V* find(std::string_view key) {
    const std::uint32_t at = position(key);
    return at == kNone ? nullptr : &entries_[at].second;
  }
  const V* find(std::string_view key) const { return const_cast<OrderedMap*>(this)->find(key); }
  bool contains(std::string_view key) const { return position(key) != kNone; }

  /// Inserts at the end, or replaces the value of an existing key in place (first position,
  /// last value). Returns true when the key is new.
  bool insert_or_assign(std::string key, V value) {
    const std::uint32_t at = position(key);
    if (at != kNone) {
      entries_[at].second = std::move(value);
      return false;
    }
    entries_.emplace_back(std::move(key), std::move(value));
    if (!slots_.empty() && entries_.size() * 2 <= slots_.size()) {
      place(static_cast<std::uint32_t>(entries_.size() - 1));
    } else if (entries_.size() >= kIndexThreshold) {
      rebuild_index();
    }
    return true;
  }

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  void reserve(std::size_t n) { entries_.reserve(n); }

  auto begin() { return entries_.begin(); }
  auto end() { return entries_.end(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }
  const Entry& at_position(std::size_t i) const { return entries_[i]; }
  Entry& at_position(std::size_t i) { return entries_[i]; }

  friend bool operator==(const OrderedMap& a, const OrderedMap& b) { return a.entries_ == b.entries_; }

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  static constexpr std::size_t kIndexThreshold = 9;

  static std::size_t hash_of(std::string_view key) { return std::hash<std::string_view>{}(key); }

  std::uint32_t position(std::string_view key) const {
    if (slots_.empty()) {
      for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].first == key) return static_cast<std::uint32_t>(i);
      }
      return kNone;
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = hash_of(key) & mask;; s = (s + 1) & mask) {
      const std::uint32_t at = slots_[s];
      if (at == kNone) return kNone;
      if (entries_[at].first == key) return at;
    }
  }

  void place(std::uint32_t at) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t s = hash_of(entries_[at].first) & mask;
    while (slots_[s] != kNone) s = (s + 1) & mask;
    slots_[s] = at;
  }

  void rebuild_index() {
    std::size_t n = 16;
    while (n < entries_.size() * 4) n *= 2;
    slots_.assign(n, kNone);
    for (std::size_t i = 0; i < entries_.size(); ++i) place(static_cast<std::uint32_t>(i));
  }

  std::vector<Entry> entries_;
  std::vector<std::uint32_t> slots_;
};

}  // namespace vexolin
