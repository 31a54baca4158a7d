#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Value.h"

namespace vozi::platform {

// A condition on the attributes of the objects a fetch returns: comparisons of
// an attribute with a constant, with a list of constants, or with an
// aggregate (minimum, maximum) of an attribute over every object of the
// fetched entity; and conjunctions, disjunctions and negations of those.
// Equality treats an absent value as a value: "x == null" finds objects
// without x, and "x != 5" finds them too. An ordering comparison with an
// absent value is false.
class Predicate {
 public:
  enum class Kind { constant, comparison, in, aggregateComparison, conjunction, disjunction, negation };
  enum class Operator { equal, notEqual, less, lessOrEqual, greater, greaterOrEqual };
  enum class Aggregate { min, max };

  // The true predicate.
  Predicate();

  static Predicate truePredicate();
  static Predicate falsePredicate();
  static Predicate compare(std::string key, Operator op, Value value);
  static Predicate equal(std::string key, Value value) { return compare(std::move(key), Operator::equal, std::move(value)); }
  static Predicate in(std::string key, std::vector<Value> values);
  // key <op> min:(aggregateKey) or max:(aggregateKey). An aggregate over no
  // values matches nothing.
  static Predicate compareToAggregate(std::string key, Operator op, Aggregate aggregate, std::string aggregateKey);
  // "key == min:(key)": the objects that hold the smallest value of key.
  static Predicate equalToMinimum(std::string key);
  static Predicate andPredicate(std::vector<Predicate> subpredicates);
  static Predicate orPredicate(std::vector<Predicate> subpredicates);
  static Predicate notPredicate(Predicate subpredicate);

  Kind kind() const;
  bool constantValue() const;
  const std::string& key() const;
  Operator op() const;
  const Value& value() const;
  const std::vector<Value>& values() const;
  Aggregate aggregate() const;
  const std::string& aggregateKey() const;
  const std::vector<Predicate>& subpredicates() const;

  // A readable form, e.g. "date == min:(date)".
  std::string predicateFormat() const;

 private:
  struct Node;
  explicit Predicate(std::shared_ptr<const Node> node) : node_(std::move(node)) {}
  std::shared_ptr<const Node> node_;
};

}  // namespace vozi::platform
