L = L or {}
L["LOADED"] = "任務助手 已載入"
L["TITLE"] = "任務助手"
