#include "platform/store/Predicate.h"

#include <cstdio>

namespace vozi::platform {

struct Predicate::Node {
  Kind kind = Kind::constant;
  bool truth = true;
  std::string key;
  Operator op = Operator::equal;
  Value value;
  std::vector<Value> values;
  Aggregate aggregate = Aggregate::min;
  std::string aggregateKey;
  std::vector<Predicate> children;
};

namespace {

const char* operatorText(Predicate::Operator op) {
  switch (op) {
    case Predicate::Operator::equal: return "==";
    case Predicate::Operator::notEqual: return "!=";
    case Predicate::Operator::less: return "<";
    case Predicate::Operator::lessOrEqual: return "<=";
    case Predicate::Operator::greater: return ">";
    case Predicate::Operator::greaterOrEqual: return ">=";
  }
  return "?";
}

std::string constantText(const Value& value) {
  if (value.isNull()) return "nil";
  if (auto b = value.asBool(); b && value.isBool()) return *b ? "YES" : "NO";
  if (value.isUnsigned()) return std::to_string(*value.asUInt64());
  if (value.isInteger()) return std::to_string(*value.asInt64());
  if (value.isReal() || value.isDate()) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", value.isDate() ? value.asDate()->timeIntervalSinceReferenceDate()
                                                                  : *value.asDouble());
    return value.isDate() ? std::string("CAST(") + buffer + ", \"NSDate\")" : buffer;
  }
  if (const auto* s = value.asString()) {
    std::string out = "\"";
    for (char c : *s) {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
    return out + "\"";
  }
  if (const auto* d = value.asData()) return std::string("<").append(std::to_string(d->size())).append(" bytes>");
  return "?";
}

}  // namespace

Predicate::Predicate() : node_(std::make_shared<Node>()) {}

Predicate Predicate::truePredicate() { return Predicate(); }

Predicate Predicate::falsePredicate() {
  auto node = std::make_shared<Node>();
  node->truth = false;
  return Predicate(node);
}

Predicate Predicate::compare(std::string key, Operator op, Value value) {
  auto node = std::make_shared<Node>();
  node->kind = Kind::comparison;
  node->key = std::move(key);
  node->op = op;
  node->value = std::move(value);
  return Predicate(node);
}

Predicate Predicate::in(std::string key, std::vector<Value> values) {
  auto node = std::make_shared<Node>();
  node->kind = Kind::in;
  node->key = std::move(key);
  node->values = std::move(values);
  return Predicate(node);
}

Predicate Predicate::compareToAggregate(std::string key, Operator op, Aggregate aggregate, std::string aggregateKey) {
  auto node = std::make_shared<Node>();
  node->kind = Kind::aggregateComparison;
  node->key = std::move(key);
  node->op = op;
  node->aggregate = aggregate;
  node->aggregateKey = std::move(aggregateKey);
  return Predicate(node);
}

Predicate Predicate::equalToMinimum(std::string key) {
  std::string aggregateKey = key;
  return compareToAggregate(std::move(key), Operator::equal, Aggregate::min, std::move(aggregateKey));
}

Predicate Predicate::andPredicate(std::vector<Predicate> subpredicates) {
  auto node = std::make_shared<Node>();
  node->kind = Kind::conjunction;
  node->children = std::move(subpredicates);
  return Predicate(node);
}

Predicate Predicate::orPredicate(std::vector<Predicate> subpredicates) {
  auto node = std::make_shared<Node>();
  node->kind = Kind::disjunction;
  node->children = std::move(subpredicates);
  return Predicate(node);
}

Predicate Predicate::notPredicate(Predicate subpredicate) {
  auto node = std::make_shared<Node>();
  node->kind = Kind::negation;
  node->children.push_back(std::move(subpredicate));
  return Predicate(node);
}

Predicate::Kind Predicate::kind() const { return node_->kind; }
bool Predicate::constantValue() const { return node_->truth; }
const std::string& Predicate::key() const { return node_->key; }
Predicate::Operator Predicate::op() const { return node_->op; }
const Value& Predicate::value() const { return node_->value; }
const std::vector<Value>& Predicate::values() const { return node_->values; }
Predicate::Aggregate Predicate::aggregate() const { return node_->aggregate; }
const std::string& Predicate::aggregateKey() const { return node_->aggregateKey; }
const std::vector<Predicate>& Predicate::subpredicates() const { return node_->children; }

std::string Predicate::predicateFormat() const {
  switch (node_->kind) {
    case Kind::constant:
      return node_->truth ? "TRUEPREDICATE" : "FALSEPREDICATE";
    case Kind::comparison:
      return node_->key + " " + operatorText(node_->op) + " " + constantText(node_->value);
    case Kind::in: {
      std::string out = node_->key + " IN {";
      for (std::size_t i = 0; i < node_->values.size(); ++i) out += (i ? ", " : "") + constantText(node_->values[i]);
      return out + "}";
    }
    case Kind::aggregateComparison:
      return node_->key + " " + operatorText(node_->op) + " " +
             (node_->aggregate == Aggregate::min ? "min:(" : "max:(") + node_->aggregateKey + ")";
    case Kind::conjunction:
    case Kind::disjunction: {
      if (node_->children.empty()) return node_->kind == Kind::conjunction ? "TRUEPREDICATE" : "FALSEPREDICATE";
      if (node_->children.size() == 1) return node_->children[0].predicateFormat();
      std::string out;
      for (std::size_t i = 0; i < node_->children.size(); ++i) {
        if (i) out += node_->kind == Kind::conjunction ? " AND " : " OR ";
        out.append("(").append(node_->children[i].predicateFormat()).append(")");
      }
      return out;
    }
    case Kind::negation:
      return "NOT (" + node_->children[0].predicateFormat() + ")";
  }
  return {};
}

}  // namespace vozi::platform
