#include "xml/xml_tree.h"

#include <algorithm>

XmlElementList::XmlElementList(const XmlTree* tree, std::size_t first, std::size_t count)
    : tree_(tree), members_(tree->lists_.data() + first), first_(first), count_(count) {}

std::span<const XmlAttribute> XmlTree::Attributes(const XmlElement& element) const {
  if (element.attribute_count_ == 0) return {};
  return {attributes_.data() + element.first_attribute_, element.attribute_count_};
}

bool XmlTree::AddElement(std::string_view name, std::span<const XmlAttribute> attributes,
                         std::uint32_t* number) {
  const std::size_t first_attribute = attributes_.size();
  for (const XmlAttribute& given : attributes) {
    const char* name_copy = strings_.Copy(given.Name(), budget_);
    const char* value_copy = strings_.Copy(given.Value(), budget_);
    if (!name_copy || !value_copy) return false;
    const XmlAttribute attribute({name_copy, given.Name().size()},
                                 {value_copy, given.Value().size()});
    if (!budget_->Append(&attributes_, attribute)) return false;
  }
  const std::size_t index = elements_.Size();
  XmlElement* element = elements_.Add(budget_);
  const char* copy = element ? strings_.Copy(name, budget_) : nullptr;
  if (!copy) return false;
  *element = XmlElement{};
  element->name_ = copy;
  element->first_attribute_ = static_cast<std::uint32_t>(first_attribute);
  element->attribute_count_ = static_cast<std::uint32_t>(attributes_.size() - first_attribute);
  *number = static_cast<std::uint32_t>(index);
  return true;
}

bool XmlTree::SetText(std::uint32_t number, std::span<const std::string_view> pieces) {
  std::size_t length = 0;
  for (std::string_view piece : pieces) length += piece.size();
  const char* text = strings_.Join(pieces.data(), pieces.size(), length, budget_);
  if (!text) return false;
  elements_[number].text_ = text;
  return true;
}

bool XmlTree::AddList(std::span<const std::uint32_t> members, std::uint32_t* first) {
  *first = static_cast<std::uint32_t>(lists_.size());
  for (std::size_t i = members.size(); i > 0; --i) {
    if (!budget_->Append(&lists_, members[i - 1])) return false;
  }
  return true;
}

bool XmlTree::SetChildren(std::uint32_t number, std::span<const std::uint32_t> members) {
  std::uint32_t first = 0;
  if (!AddList(members, &first)) return false;
  elements_[number].first_child_ = first;
  elements_[number].child_count_ = static_cast<std::uint32_t>(members.size());
  return true;
}

bool XmlTree::SetTop(std::span<const std::uint32_t> members) {
  top_count_ = static_cast<std::uint32_t>(members.size());
  return AddList(members, &top_first_);
}

// Within a list the members' numbers fall (reverse document order), so
// "same name, higher number first" keeps the list's order among equals.
bool XmlTree::Finish() {
  if (!budget_->Charge(lists_.size() * sizeof(std::uint32_t))) return false;
  by_name_ = lists_;
  auto order = [this](std::uint32_t a, std::uint32_t b) {
    const std::string_view name_a = Element(a).Name(), name_b = Element(b).Name();
    return name_a != name_b ? name_a < name_b : a > b;
  };
  auto sort_list = [&](std::uint32_t first, std::uint32_t count) {
    if (count > 1) std::sort(by_name_.begin() + first, by_name_.begin() + first + count, order);
  };
  sort_list(top_first_, top_count_);
  for (std::size_t i = 0; i < elements_.Size(); ++i)
    sort_list(elements_[i].first_child_, elements_[i].child_count_);
  return true;
}

std::span<const std::uint32_t> XmlTree::Named(const XmlElementList& list,
                                              std::string_view name) const {
  if (list.empty() || by_name_.size() < list.first_ + list.count_) return {};
  const std::uint32_t* first = by_name_.data() + list.first_;
  const std::uint32_t* last = first + list.count_;
  struct ByName {
    const XmlTree* tree;
    bool operator()(std::uint32_t a, std::string_view b) const {
      return tree->Element(a).Name() < b;
    }
    bool operator()(std::string_view a, std::uint32_t b) const {
      return a < tree->Element(b).Name();
    }
  };
  auto [from, to] = std::equal_range(first, last, name, ByName{this});
  return {from, to};
}

void XmlTree::Clear() {
  elements_.Clear(budget_);
  budget_->Free(&attributes_);
  strings_.Clear(budget_);
  budget_->Free(&lists_);
  budget_->Release(by_name_.capacity() * sizeof(std::uint32_t));
  std::vector<std::uint32_t>().swap(by_name_);
  top_first_ = top_count_ = 0;
}
