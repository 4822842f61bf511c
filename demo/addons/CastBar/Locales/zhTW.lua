L = L or {}
L["LOADED"] = "施法條 已載入"
L["TITLE"] = "施法條"
