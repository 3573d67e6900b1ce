#include "tools/validate/check_context.h"

namespace corvalen::validate {

vsthost::PluginLibrary& CheckContext::library() {
    if (!library_) library_ = std::make_unique<vsthost::PluginLibrary>(pluginPath_);
    return *library_;
}

void Findings::add(Verdict verdict, const std::string& problem) {
    verdict_ = text_.empty() ? verdict : worse(verdict_, verdict);
    appendProblem(text_, problem);
}

void Findings::report(CheckContext& context, const std::string& passDetail,
                      bool withContext) const {
    if (text_.empty()) {
        context.pass(passDetail);
    } else {
        context.report(verdict_, withContext ? text_ + " (" + passDetail + ")" : text_);
    }
}

void appendProblem(std::string& problems, const std::string& problem) {
    problems += (problems.empty() ? "" : "; ") + problem;
}

}  // namespace corvalen::validate
