#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Error.h"
#include "platform/Value.h"
#include "platform/store/EntityDescription.h"
#include "platform/store/Predicate.h"

namespace vozi::platform {

// The shared ground of the store and the context: predicates resolved
// against an entity, values in the form the database compares them (null,
// 64-bit integer, real, text, bytes) and the comparison rules that make an
// in-memory evaluation agree with the database's.
class StoreQuery {
 public:
  struct Condition {
    Predicate::Kind kind = Predicate::Kind::constant;
    bool truth = true;
    const AttributeDescription* attribute = nullptr;
    Predicate::Operator op = Predicate::Operator::equal;
    Value value;               // database form
    std::vector<Value> values;  // database form
    std::vector<Condition> children;
  };

  struct Query {
    std::vector<const EntityDescription*> entities;  // one family, one table
    std::optional<Condition> condition;
    std::vector<std::pair<const AttributeDescription*, bool>> sort;  // attribute, ascending
    std::size_t limit = 0;
  };

  // The attribute a key names in the entity, or an error.
  static const AttributeDescription* attribute(const EntityDescription& entity, const std::string& key, Error* error);
  // A predicate with its aggregates already replaced (aggregate(...) gives
  // each one's value) resolved against the entity.
  template <class AggregateValue>
  static std::optional<Condition> resolve(const EntityDescription& entity, const Predicate& predicate,
                                          AggregateValue&& aggregateValue, Error* error);

  // The database form of an attribute value as the object holds it.
  static Value databaseForm(AttributeType type, const Value& value);
  // The database form of a constant compared with an attribute; none when
  // the constant cannot be compared with it.
  static std::optional<Value> constantForm(AttributeType type, const Value& value);
  // The order of the database: null < numbers < text < bytes.
  static int compare(const Value& a, const Value& b);
  // The condition on an object's values (indexed by attribute index).
  static bool evaluate(const Condition& condition, const std::vector<Value>& values);
  // Orders two objects' values by the sort keys; 0 when they tie.
  static int compareForSort(const std::vector<std::pair<const AttributeDescription*, bool>>& sort,
                            const std::vector<Value>& a, const std::vector<Value>& b);

 private:
  static std::optional<Condition> resolveNode(const EntityDescription& entity, const Predicate& predicate,
                                              const std::function<std::optional<Value>(const Predicate&, Error*)>& agg,
                                              Error* error);
};

template <class AggregateValue>
std::optional<StoreQuery::Condition> StoreQuery::resolve(const EntityDescription& entity, const Predicate& predicate,
                                                         AggregateValue&& aggregateValue, Error* error) {
  return resolveNode(entity, predicate, std::function<std::optional<Value>(const Predicate&, Error*)>(aggregateValue),
                     error);
}

}  // namespace vozi::platform
