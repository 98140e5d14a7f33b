#include "soap/soap_location.h"

#include "runtime/text.h"

namespace kalu {

void SOAPLocation::SetBaseURL(std::string_view baseUrl) {
  baseUrl_ = Trim(baseUrl);
  if (!baseUrl_.empty() && baseUrl_.back() == '/') baseUrl_.pop_back();
}

}  // namespace kalu
