"""Prints the folder below PREFIX from which this interpreter imports modules installed there:
the user's site folder for the user base (~/.local), Debian's dist-packages for /usr and other
prefixes on Debian, the prefix scheme's site-packages elsewhere.
    site_folder.py PREFIX"""
import os
import site
import sys
import sysconfig

prefix = os.path.abspath(sys.argv[1])
version = f"python{sys.version_info.major}.{sys.version_info.minor}"
if prefix == os.path.abspath(site.getuserbase()):
    print(site.getusersitepackages())
elif "deb_system" in sysconfig.get_scheme_names():
    if prefix == "/usr":
        print(sysconfig.get_path("platlib", "deb_system"))
    else:
        print(os.path.join(prefix, "lib", version, "dist-packages"))
else:
    print(sysconfig.get_path("platlib", "posix_prefix", vars={"base": prefix, "platbase": prefix}))
