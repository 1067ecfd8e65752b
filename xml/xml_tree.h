// The element tree of a read document. Every sibling list (the top
// elements, each element's children) is a contiguous range of member
// numbers in reverse document order: the last child in the file comes
// first. A second copy of each range, ordered by name, finds the members of
// one name without walking the others. Names, texts and attribute values
// are zero-terminated copies, held by the tree until it is cleared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "util/memory_budget.h"
#include "xml/chunked_pool.h"
#include "xml/string_arena.h"

class XmlTree;

// A name and a value, both zero-terminated (data() is a C string).
class XmlAttribute {
 public:
  XmlAttribute() = default;
  XmlAttribute(std::string_view name, std::string_view value)
      : name_(name.data()),
        value_(value.data()),
        name_length_(static_cast<std::uint32_t>(name.size())),
        value_length_(static_cast<std::uint32_t>(value.size())) {}
  std::string_view Name() const { return {name_, name_length_}; }
  std::string_view Value() const { return {value_, value_length_}; }

 private:
  const char* name_ = "";
  const char* value_ = "";
  std::uint32_t name_length_ = 0;
  std::uint32_t value_length_ = 0;
};

// Names and texts hold no zero byte (the input ends at its first one), so
// an element keeps only where they start: it is what a document has most of.
class XmlElement {
 public:
  std::string_view Name() const { return name_; }
  // All text directly inside the element, joined; data() is a C string.
  std::string_view Text() const { return text_; }

 private:
  friend class XmlTree;
  const char* name_ = "";
  const char* text_ = "";
  std::uint32_t first_child_ = 0;  // in the tree's member ranges
  std::uint32_t child_count_ = 0;
  std::uint32_t first_attribute_ = 0;
  std::uint32_t attribute_count_ = 0;
};

// One sibling list, in its order.
class XmlElementList {
 public:
  class Iterator {
   public:
    const XmlElement& operator*() const;
    Iterator& operator++() {
      ++member_;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return member_ != other.member_; }

   private:
    friend class XmlElementList;
    Iterator(const XmlTree* tree, const std::uint32_t* member) : tree_(tree), member_(member) {}
    const XmlTree* tree_;
    const std::uint32_t* member_;
  };

  XmlElementList() = default;
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  const XmlElement& operator[](std::size_t index) const;
  Iterator begin() const { return {tree_, members_}; }
  Iterator end() const { return {tree_, members_ + count_}; }

 private:
  friend class XmlTree;
  XmlElementList(const XmlTree* tree, std::size_t first, std::size_t count);

  const XmlTree* tree_ = nullptr;
  const std::uint32_t* members_ = nullptr;
  std::size_t first_ = 0;  // where the range starts in the tree's lists
  std::size_t count_ = 0;
};

class XmlTree {
 public:
  explicit XmlTree(MemoryBudget* budget) : budget_(budget) {}
  XmlTree(const XmlTree&) = delete;
  XmlTree& operator=(const XmlTree&) = delete;
  ~XmlTree() { Clear(); }

  XmlElementList Top() const { return {this, top_first_, top_count_}; }
  XmlElementList Children(const XmlElement& element) const {
    return {this, element.first_child_, element.child_count_};
  }
  std::span<const XmlAttribute> Attributes(const XmlElement& element) const;
  // Calls `visit` with each member of `list` whose name is `name`, in list
  // order, until it returns non-null; returns that, or null.
  template <typename Visit>
  const XmlElement* FindNamed(const XmlElementList& list, std::string_view name,
                              Visit&& visit) const;

  const XmlElement& Element(std::uint32_t number) const { return elements_[number]; }

  // Building, in document order. Each returns false when the budget refuses
  // the memory; the system's refusal throws std::bad_alloc.
  bool AddElement(std::string_view name, std::span<const XmlAttribute> attributes,
                  std::uint32_t* number);
  bool SetText(std::uint32_t number, std::span<const std::string_view> pieces);
  // The members of a list, given in document order.
  bool SetChildren(std::uint32_t number, std::span<const std::uint32_t> members);
  bool SetTop(std::span<const std::uint32_t> members);
  // Orders the copies by name; the tree is complete.
  bool Finish();
  void Clear();

 private:
  friend class XmlElementList;
  bool AddList(std::span<const std::uint32_t> members, std::uint32_t* first);
  std::span<const std::uint32_t> Named(const XmlElementList& list, std::string_view name) const;

  MemoryBudget* budget_;
  ChunkedPool<XmlElement> elements_;
  std::vector<XmlAttribute> attributes_;
  StringArena strings_;
  std::vector<std::uint32_t> lists_;    // every sibling list, reverse document order
  std::vector<std::uint32_t> by_name_;  // the same ranges, each ordered by name
  std::uint32_t top_first_ = 0;
  std::uint32_t top_count_ = 0;
};

inline const XmlElement& XmlElementList::Iterator::operator*() const {
  return tree_->Element(*member_);
}

inline const XmlElement& XmlElementList::operator[](std::size_t index) const {
  return tree_->Element(members_[index]);
}

template <typename Visit>
const XmlElement* XmlTree::FindNamed(const XmlElementList& list, std::string_view name,
                                     Visit&& visit) const {
  for (std::uint32_t number : Named(list, name)) {
    if (const XmlElement* found = visit(Element(number))) return found;
  }
  return nullptr;
}
