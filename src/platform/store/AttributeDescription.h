#pragma once

#include <cstddef>
#include <string>

#include "platform/Value.h"

namespace vozi::platform {

class EntityDescription;

// The storage kinds of an attribute. Strings, dates and data may always be
// absent; numbers and booleans are scalars unless declared optional.
enum class AttributeType { string, date, data, integer16, integer32, integer64, boolean, real };

const char* attributeTypeName(AttributeType type);

// One attribute of an entity, as the model declares it.
class AttributeDescription {
 public:
  const std::string& name() const { return name_; }
  AttributeType type() const { return type_; }
  // Only meaningful for numbers and booleans: an optional one can be absent,
  // a scalar one reads 0 or false and is never stored as absent.
  bool isOptional() const { return optional_; }
  bool isScalar() const;
  // The value a new object starts with (absent: null, or 0/false for scalars).
  const Value& defaultValue() const { return defaultValue_; }
  bool isIndexed() const { return indexed_; }
  // The entity that declares the attribute.
  const EntityDescription& entity() const { return *entity_; }
  // The slot of the attribute in every object of the declaring entity and of
  // its sub-entities.
  std::size_t index() const { return index_; }
  // The column that holds it in the table of its root entity.
  const std::string& columnName() const { return column_; }

 private:
  friend class ManagedObjectModel;
  std::string name_;
  AttributeType type_ = AttributeType::string;
  bool optional_ = true;
  bool indexed_ = false;
  Value defaultValue_;
  const EntityDescription* entity_ = nullptr;
  std::size_t index_ = 0;
  std::string column_;
};

}  // namespace vozi::platform
