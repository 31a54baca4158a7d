#include "platform/store/StoreQuery.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "platform/store/ObjectStoreError.h"

namespace vozi::platform {

namespace {

int classRank(const Value& v) {
  if (v.isNull()) return 0;
  if (v.isInteger() || v.isReal()) return 1;
  if (v.isString()) return 2;
  return 3;
}

int compareNumbers(const Value& a, const Value& b) {
  if (a.isInteger() && b.isInteger()) {
    auto x = *a.asInt64(), y = *b.asInt64();
    return x < y ? -1 : x > y ? 1 : 0;
  }
  long double x = a.isInteger() ? static_cast<long double>(*a.asInt64()) : *a.asDouble();
  long double y = b.isInteger() ? static_cast<long double>(*b.asInt64()) : *b.asDouble();
  return x < y ? -1 : x > y ? 1 : 0;
}

bool applies(Predicate::Operator op, int order) {
  switch (op) {
    case Predicate::Operator::equal: return order == 0;
    case Predicate::Operator::notEqual: return order != 0;
    case Predicate::Operator::less: return order < 0;
    case Predicate::Operator::lessOrEqual: return order <= 0;
    case Predicate::Operator::greater: return order > 0;
    case Predicate::Operator::greaterOrEqual: return order >= 0;
  }
  return false;
}

}  // namespace

const AttributeDescription* StoreQuery::attribute(const EntityDescription& entity, const std::string& key,
                                                  Error* error) {
  const AttributeDescription* a = entity.attribute(key);
  if (!a && error)
    *error = ObjectStoreError::make(ObjectStoreError::invalidRequest,
                                    "keypath " + key + " not found in entity " + entity.name());
  return a;
}

Value StoreQuery::databaseForm(AttributeType type, const Value& value) {
  if (value.isNull()) return {};
  switch (type) {
    case AttributeType::date: {
      // The database keeps no NaN: it stores one as null.
      const double seconds = value.asDate()->timeIntervalSinceReferenceDate();
      if (std::isnan(seconds)) return {};
      return seconds;
    }
    case AttributeType::real:
      if (value.isReal() && std::isnan(*value.asDouble())) return {};
      return value;
    case AttributeType::boolean:
      return std::int64_t{*value.asBool() ? 1 : 0};
    default:
      return value;
  }
}

std::optional<Value> StoreQuery::constantForm(AttributeType type, const Value& value) {
  if (value.isNull()) return Value();
  switch (type) {
    case AttributeType::string:
      if (value.isString()) return value;
      return std::nullopt;
    case AttributeType::data:
      if (value.isData()) return value;
      return std::nullopt;
    case AttributeType::date:
      if (value.isDate()) return databaseForm(type, value);
      if (value.isNumber()) return databaseForm(AttributeType::real, Value(*value.asDouble()));
      return std::nullopt;
    case AttributeType::boolean:
    case AttributeType::integer16:
    case AttributeType::integer32:
    case AttributeType::integer64:
    case AttributeType::real:
      if (value.isBool()) return Value(std::int64_t{*value.asBool() ? 1 : 0});
      if (value.isUnsigned() && !value.asInt64()) return Value(*value.asDouble());
      if (value.isInteger()) return Value(*value.asInt64());
      if (value.isReal()) return databaseForm(AttributeType::real, value);
      return std::nullopt;
  }
  return std::nullopt;
}

int StoreQuery::compare(const Value& a, const Value& b) {
  const int ra = classRank(a), rb = classRank(b);
  if (ra != rb) return ra < rb ? -1 : 1;
  switch (ra) {
    case 0: return 0;
    case 1: return compareNumbers(a, b);
    case 2: {
      int c = a.asString()->compare(*b.asString());
      return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    default: {
      const Data& x = *a.asData();
      const Data& y = *b.asData();
      const std::size_t n = std::min(x.size(), y.size());
      int c = n ? std::memcmp(x.data(), y.data(), n) : 0;
      if (c != 0) return c < 0 ? -1 : 1;
      return x.size() < y.size() ? -1 : x.size() > y.size() ? 1 : 0;
    }
  }
}

std::optional<StoreQuery::Condition> StoreQuery::resolveNode(
    const EntityDescription& entity, const Predicate& predicate,
    const std::function<std::optional<Value>(const Predicate&, Error*)>& agg, Error* error) {
  Condition c;
  c.kind = predicate.kind();
  auto invalidConstant = [&](const std::string& key) {
    if (error)
      *error = ObjectStoreError::make(ObjectStoreError::invalidRequest,
                                      "a constant does not fit the type of " + entity.name() + "." + key);
    return std::nullopt;
  };
  switch (predicate.kind()) {
    case Predicate::Kind::constant:
      c.truth = predicate.constantValue();
      return c;
    case Predicate::Kind::comparison:
    case Predicate::Kind::aggregateComparison: {
      c.attribute = attribute(entity, predicate.key(), error);
      if (!c.attribute) return std::nullopt;
      c.op = predicate.op();
      Value constant = predicate.value();
      if (predicate.kind() == Predicate::Kind::aggregateComparison) {
        if (!attribute(entity, predicate.aggregateKey(), error)) return std::nullopt;
        auto value = agg(predicate, error);
        if (!value) return std::nullopt;
        if (value->isNull()) {  // no values to aggregate: nothing matches
          Condition none;
          none.truth = false;
          return none;
        }
        c.kind = Predicate::Kind::comparison;
        c.value = *value;
        return c;
      }
      auto form = constantForm(c.attribute->type(), constant);
      if (!form) return invalidConstant(predicate.key());
      c.value = *form;
      return c;
    }
    case Predicate::Kind::in: {
      c.attribute = attribute(entity, predicate.key(), error);
      if (!c.attribute) return std::nullopt;
      for (const Value& v : predicate.values()) {
        auto form = constantForm(c.attribute->type(), v);
        if (!form) return invalidConstant(predicate.key());
        c.values.push_back(*form);
      }
      return c;
    }
    case Predicate::Kind::conjunction:
    case Predicate::Kind::disjunction:
    case Predicate::Kind::negation:
      for (const Predicate& child : predicate.subpredicates()) {
        auto resolved = resolveNode(entity, child, agg, error);
        if (!resolved) return std::nullopt;
        c.children.push_back(std::move(*resolved));
      }
      return c;
  }
  return std::nullopt;
}

bool StoreQuery::evaluate(const Condition& c, const std::vector<Value>& values) {
  switch (c.kind) {
    case Predicate::Kind::constant:
      return c.truth;
    case Predicate::Kind::comparison: {
      const Value v = databaseForm(c.attribute->type(), values[c.attribute->index()]);
      if (c.value.isNull() || v.isNull()) {
        const bool bothNull = c.value.isNull() && v.isNull();
        if (c.op == Predicate::Operator::equal) return bothNull;
        if (c.op == Predicate::Operator::notEqual) return !bothNull;
        return false;
      }
      return applies(c.op, compare(v, c.value));
    }
    case Predicate::Kind::in: {
      const Value v = databaseForm(c.attribute->type(), values[c.attribute->index()]);
      for (const Value& candidate : c.values)
        if (candidate.isNull() ? v.isNull() : (!v.isNull() && compare(v, candidate) == 0)) return true;
      return false;
    }
    case Predicate::Kind::conjunction:
      for (const auto& child : c.children)
        if (!evaluate(child, values)) return false;
      return true;
    case Predicate::Kind::disjunction:
      for (const auto& child : c.children)
        if (evaluate(child, values)) return true;
      return false;
    case Predicate::Kind::negation:
      return !evaluate(c.children[0], values);
    case Predicate::Kind::aggregateComparison:
      return false;  // resolved away
  }
  return false;
}

int StoreQuery::compareForSort(const std::vector<std::pair<const AttributeDescription*, bool>>& sort,
                               const std::vector<Value>& a, const std::vector<Value>& b) {
  for (const auto& [attribute, ascending] : sort) {
    int c = compare(databaseForm(attribute->type(), a[attribute->index()]),
                    databaseForm(attribute->type(), b[attribute->index()]));
    if (c != 0) return ascending ? c : -c;
  }
  return 0;
}

}  // namespace vozi::platform
