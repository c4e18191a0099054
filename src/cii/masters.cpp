#include "cii/masters.h"

namespace edi::cii {

std::optional<MessageGroupInfo> CachedMasters::FindMessageGroup(const std::string& partner, const std::string& own,
                                                                const std::string& category) {
  auto key = std::make_tuple(partner, own, category);
  auto it = groups_.find(key);
  if (it == groups_.end()) it = groups_.emplace(key, source_.FindMessageGroup(partner, own, category)).first;
  return it->second;
}

std::optional<FormatInfo> CachedMasters::FindFormat(const std::string& category, const std::string& bpid) {
  auto key = std::make_pair(category, bpid);
  auto it = formats_.find(key);
  if (it == formats_.end()) it = formats_.emplace(key, source_.FindFormat(category, bpid)).first;
  return it->second;
}

std::vector<ItemFormat> CachedMasters::FindItems(char kind, const std::string& category, const std::string& bpid) {
  auto key = std::make_tuple(kind, category, bpid);
  auto it = items_.find(key);
  if (it == items_.end()) it = items_.emplace(key, source_.FindItems(kind, category, bpid)).first;
  return it->second;
}

void CachedMasters::Clear() {
  groups_.clear();
  formats_.clear();
  items_.clear();
}

void MemoryMasters::AddMessageGroup(const std::string& partner, const std::string& own, const std::string& category,
                                    MessageGroupInfo info) {
  groups_[{partner, own, category}] = std::move(info);
}
void MemoryMasters::AddFormat(const std::string& category, const std::string& bpid, FormatInfo info) {
  formats_[{category, bpid}] = std::move(info);
}
void MemoryMasters::SetItems(char kind, const std::string& category, const std::string& bpid,
                             std::vector<ItemFormat> rows) {
  items_[{kind, category, bpid}] = std::move(rows);
}

std::optional<MessageGroupInfo> MemoryMasters::FindMessageGroup(const std::string& partner, const std::string& own,
                                                                const std::string& category) {
  ++lookups;
  auto it = groups_.find({partner, own, category});
  if (it == groups_.end()) return std::nullopt;
  return it->second;
}
std::optional<FormatInfo> MemoryMasters::FindFormat(const std::string& category, const std::string& bpid) {
  ++lookups;
  auto it = formats_.find({category, bpid});
  if (it == formats_.end()) return std::nullopt;
  return it->second;
}
std::vector<ItemFormat> MemoryMasters::FindItems(char kind, const std::string& category, const std::string& bpid) {
  ++lookups;
  auto it = items_.find({kind, category, bpid});
  if (it == items_.end()) return {};
  return it->second;
}

}  // namespace edi::cii
