// Case names of a task, for messages.
#include "Berth/Task.h"

namespace Berth {

std::string Task::caseName() const {
    static const char* const names[] = {"requestPlain",
                                        "requestData",
                                        "requestJSONEncodable",
                                        "requestCustomJSONEncodable",
                                        "requestParameters",
                                        "requestCompositeData",
                                        "requestCompositeParameters",
                                        "uploadFile",
                                        "uploadMultipart",
                                        "uploadCompositeMultipart",
                                        "downloadDestination",
                                        "downloadParameters"};
    return names[case_.index()];
}

}  // namespace Berth
