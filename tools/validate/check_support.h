// What every check needs: its context (check_context.h), fresh instances and processes
// (fresh_process.h), the phrases it plays (phrases.h), the judgement of renders
// (render_judgement.h) and short descriptions for its details (report_text.h).
#pragma once

#include "tools/validate/check_context.h"
#include "tools/validate/fresh_process.h"
#include "tools/validate/phrases.h"
#include "tools/validate/render_judgement.h"
#include "tools/validate/report_text.h"
