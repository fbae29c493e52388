// The web view's bridge load operations: "lumen_loadRequest:",
// "lumen_loadHTMLString:baseURL:", "lumen_loadFileURL:allowingReadAccessToURL:" and
// "lumen_loadData:MIMEType:characterEncodingName:baseURL:". Exchanged with the view's own,
// each prepares the view through the bridge module and then runs the original load.
#pragma once

namespace LumenAnalyticsSDK {

// The four pairs (the view's operation, the bridge's), in the order they are exchanged.
struct LAWebViewLoadSelectors {
    const char* original;
    const char* bridge;
};
inline constexpr LAWebViewLoadSelectors kLAWebViewLoadSelectors[] = {
    {"loadRequest:", "lumen_loadRequest:"},
    {"loadHTMLString:baseURL:", "lumen_loadHTMLString:baseURL:"},
    {"loadFileURL:allowingReadAccessToURL:", "lumen_loadFileURL:allowingReadAccessToURL:"},
    {"loadData:MIMEType:characterEncodingName:baseURL:", "lumen_loadData:MIMEType:characterEncodingName:baseURL:"},
};

// Adds the bridge operations to the web-view class (once); they take effect only when
// exchanged with the view's own.
void lumen_installWebViewBridgeMethods();

}  // namespace LumenAnalyticsSDK
