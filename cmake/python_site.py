"""Prints the folder, relative to PREFIX, where the python3 running this finds a
package installed under PREFIX: the first folder under PREFIX/lib among those it
searches (Debian's: lib/python3/dist-packages for /usr, lib/python3.X/dist-packages
for /usr/local), else what its sysconfig scheme for a prefix names there
(lib/python3.X/site-packages), which PYTHONPATH then points to.

    python3 -I python_site.py PREFIX
"""

import os
import site
import sys
import sysconfig

prefix = os.path.abspath(sys.argv[1])
lib = os.path.join(prefix, "lib")
searched = [folder for folder in site.getsitepackages() if os.path.commonpath([folder, lib]) == lib]
if searched:
    folder = searched[0]
else:
    folder = sysconfig.get_path("purelib", "posix_prefix", vars={"base": prefix, "platbase": prefix})
print(os.path.relpath(folder, prefix))
