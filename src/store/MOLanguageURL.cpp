#include "store/MOLanguageURL.h"

#include "store/MOLanguage.h"

namespace vozi {

std::shared_ptr<MOLanguage> MOLanguageURL::lang() const { return objectAs<MOLanguage>("lang"); }
void MOLanguageURL::setLang(const std::shared_ptr<MOLanguage>& object) { setObject("lang", object); }

}  // namespace vozi
