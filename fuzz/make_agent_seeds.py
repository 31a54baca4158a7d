#!/usr/bin/env python3
"""Writes seed frames for fuzz_agent_calls: keyed archives of the calls the
per-user agent makes, as the transport frames them (without the length)."""
import plistlib
import sys
from plistlib import UID


def archive(top_fields, objects_after):
    objects = ["$null", top_fields] + objects_after
    return plistlib.dumps({"$archiver": "NSKeyedArchiver", "$version": 100000,
                           "$top": {"root": UID(1)}, "$objects": objects},
                          fmt=plistlib.FMT_BINARY)


def notification_call(selector, class_name, user_info):
    # 0 $null, 1 call, 2 selector, 3 notification, 4 its class, 5 identifier,
    # 6 title, 7 text, 8 userInfo dict, 9 dict class, 10.. keys and values
    call = {"selector": UID(2), "replyID": 0, "a0": UID(3)}
    note = {"$class": UID(4), "identifier": UID(5), "type": 1, "userInfo": UID(8),
            "title": UID(6), "inforamtiveText": UID(7), "actionButtonTitle": UID(0)}
    chain = [class_name, "ZOLNotification", "NSObject"]
    cls = {"$classname": class_name, "$classes": chain}
    keys = list(user_info.keys())
    dictionary = {"$class": UID(9), "NS.keys": [UID(10 + i) for i in range(len(keys))],
                  "NS.objects": [UID(10 + len(keys) + i) for i in range(len(keys))]}
    dict_class = {"$classname": "NSDictionary", "$classes": ["NSDictionary", "NSObject"]}
    rest = [selector, note, cls, "clean-reminder", "Junk found", "3 GB can go", dictionary, dict_class]
    rest += keys + [user_info[k] for k in keys]
    return archive(call, rest)


def main(folder):
    seeds = {
        "action": notification_call("handleActionForNotification:", "ZOLDefaultNotification",
                                    {"group": "Trash", "bytes": 42}),
        "close": notification_call("handleCloseForNotification:", "ZOLDefaultNotification", {}),
        "setup": archive({"selector": UID(2), "replyID": 0}, ["setupConnection"]),
    }
    for name, data in seeds.items():
        with open(f"{folder}/{name}", "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main(sys.argv[1])
