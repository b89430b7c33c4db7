// Serves the .asmx pages of the folder above its own (bin/) through Mono's
// ASP.NET runtime, over an HttpListener on 127.0.0.1.
//   mono bin/OrvexAsmxHost.exe [--port N] [--lifetime SECONDS]
// Port 0 (the default) takes a free port. Before printing "PORT <n>" it fetches
// each page's WSDL, so that the first request a test makes finds the page
// compiled; it lives at most --lifetime seconds (600 by default).
using System;
using System.Collections.Generic;
using System.IO;
using System.Net;
using System.Net.Sockets;
using System.Threading;
using System.Web;
using System.Web.Hosting;

namespace Orvex.Test.Asmx {

public static class Program {
    public static int Main(string[] args) {
        int port = 0;
        int lifetime = 600;
        for (int i = 0; i + 1 < args.Length; i += 2) {
            if (args[i] == "--port") port = int.Parse(args[i + 1]);
            else if (args[i] == "--lifetime") lifetime = int.Parse(args[i + 1]);
            else return Usage();
        }
        if (args.Length % 2 != 0) return Usage();

        string root = Path.GetDirectoryName(Path.GetDirectoryName(typeof(Program).Assembly.Location));
        var gateway = (Gateway)ApplicationHost.CreateApplicationHost(typeof(Gateway), "/", root);
        port = gateway.Start(port);
        foreach (string page in Directory.GetFiles(root, "*.asmx")) {
            string url = "http://127.0.0.1:" + port + "/" + Path.GetFileName(page) + "?WSDL";
            if (!Warm(url)) return 1;
        }
        Console.WriteLine("PORT " + port);
        Console.Out.Flush();
        Thread.Sleep(TimeSpan.FromSeconds(lifetime));
        Environment.Exit(0);
        return 0;
    }

    static int Usage() {
        Console.Error.WriteLine("usage: OrvexAsmxHost.exe [--port N] [--lifetime SECONDS]");
        return 2;
    }

    static bool Warm(string url) {
        var request = (HttpWebRequest)WebRequest.Create(url);
        request.Proxy = null;
        try {
            using (var response = (HttpWebResponse)request.GetResponse()) return true;
        } catch (WebException e) {
            Console.Error.WriteLine(url + ": " + e.Message);
            var response = e.Response as HttpWebResponse;
            if (response != null)
                using (var reader = new StreamReader(response.GetResponseStream()))
                    Console.Error.WriteLine(reader.ReadToEnd());
            return false;
        }
    }
}

// Lives in the ASP.NET application domain and hands it each request.
public class Gateway : MarshalByRefObject {
    HttpListener m_listener;

    // The host calls it once; it must not expire under the remoting lease.
    public override object InitializeLifetimeService() { return null; }

    public int Start(int port) {
        for (int attempt = 0;; ++attempt) {
            int chosen = port != 0 ? port : FreePort();
            m_listener = new HttpListener();
            m_listener.Prefixes.Add("http://127.0.0.1:" + chosen + "/");
            try {
                m_listener.Start();
            } catch (HttpListenerException) {
                // Another process took the free port between the probe and the start.
                if (port != 0 || attempt == 10) throw;
                continue;
            }
            new Thread(Serve) { IsBackground = true }.Start();
            return chosen;
        }
    }

    static int FreePort() {
        var probe = new TcpListener(IPAddress.Loopback, 0);
        probe.Start();
        int port = ((IPEndPoint)probe.LocalEndpoint).Port;
        probe.Stop();
        return port;
    }

    void Serve() {
        while (true) {
            HttpListenerContext context = m_listener.GetContext();
            ThreadPool.QueueUserWorkItem(_ => HttpRuntime.ProcessRequest(new ListenerWorkerRequest(context)));
        }
    }
}

// One request as ASP.NET asks for it: method, path, headers and the whole body
// read beforehand; the answer is kept until the end and sent with its length.
public class ListenerWorkerRequest : HttpWorkerRequest {
    readonly HttpListenerContext m_context;
    readonly byte[] m_body;
    readonly string m_filePath;
    readonly string m_pathInfo;
    readonly MemoryStream m_answer = new MemoryStream();
    bool m_sent;
    int m_status = 200;
    string m_statusText = "OK";
    readonly List<KeyValuePair<string, string>> m_headers = new List<KeyValuePair<string, string>>();

    public ListenerWorkerRequest(HttpListenerContext context) {
        m_context = context;
        using (var body = new MemoryStream()) {
            context.Request.InputStream.CopyTo(body);
            m_body = body.ToArray();
        }
        // "/Service.asmx/Add" is the page "/Service.asmx" with the path info "/Add".
        string path = context.Request.Url.AbsolutePath;
        int page = path.IndexOf(".asmx/", StringComparison.OrdinalIgnoreCase);
        m_filePath = page < 0 ? path : path.Substring(0, page + 5);
        m_pathInfo = page < 0 ? "" : path.Substring(page + 5);
    }

    public override string GetUriPath() { return m_context.Request.Url.AbsolutePath; }
    public override string GetQueryString() { return m_context.Request.Url.Query.TrimStart('?'); }
    public override string GetRawUrl() { return m_context.Request.RawUrl; }
    public override string GetHttpVerbName() { return m_context.Request.HttpMethod; }
    public override string GetHttpVersion() { return "HTTP/" + m_context.Request.ProtocolVersion; }
    public override string GetRemoteAddress() { return m_context.Request.RemoteEndPoint.Address.ToString(); }
    public override int GetRemotePort() { return m_context.Request.RemoteEndPoint.Port; }
    public override string GetLocalAddress() { return m_context.Request.LocalEndPoint.Address.ToString(); }
    public override int GetLocalPort() { return m_context.Request.LocalEndPoint.Port; }
    public override string GetServerName() { return "127.0.0.1"; }

    public override string GetAppPath() { return HttpRuntime.AppDomainAppVirtualPath; }
    public override string GetAppPathTranslated() { return HttpRuntime.AppDomainAppPath; }
    public override string GetFilePath() { return m_filePath; }
    public override string GetFilePathTranslated() { return MapPath(m_filePath); }
    public override string GetPathInfo() { return m_pathInfo; }

    public override string MapPath(string virtualPath) {
        return Path.Combine(HttpRuntime.AppDomainAppPath, virtualPath.TrimStart('/', '~'));
    }

    public override string GetKnownRequestHeader(int index) {
        return m_context.Request.Headers[GetKnownRequestHeaderName(index)];
    }

    public override string GetUnknownRequestHeader(string name) { return m_context.Request.Headers[name]; }

    public override string[][] GetUnknownRequestHeaders() {
        var unknown = new List<string[]>();
        foreach (string name in m_context.Request.Headers.AllKeys)
            if (GetKnownRequestHeaderIndex(name) < 0)
                unknown.Add(new[] { name, m_context.Request.Headers[name] });
        return unknown.ToArray();
    }

    public override byte[] GetPreloadedEntityBody() { return m_body; }
    public override bool IsEntireEntityBodyIsPreloaded() { return true; }
    public override int ReadEntityBody(byte[] buffer, int size) { return 0; }

    public override void SendStatus(int statusCode, string statusDescription) {
        m_status = statusCode;
        m_statusText = statusDescription;
    }

    public override void SendKnownResponseHeader(int index, string value) {
        SendUnknownResponseHeader(GetKnownResponseHeaderName(index), value);
    }

    public override void SendUnknownResponseHeader(string name, string value) {
        m_headers.Add(new KeyValuePair<string, string>(name, value));
    }

    public override void SendResponseFromMemory(byte[] data, int length) { m_answer.Write(data, 0, length); }

    public override void SendResponseFromFile(string filename, long offset, long length) {
        using (var file = File.OpenRead(filename)) SendFromStream(file, offset, length);
    }

    public override void SendResponseFromFile(IntPtr handle, long offset, long length) {
        using (var file = new FileStream(new Microsoft.Win32.SafeHandles.SafeFileHandle(handle, false),
                                         FileAccess.Read))
            SendFromStream(file, offset, length);
    }

    void SendFromStream(Stream file, long offset, long length) {
        file.Seek(offset, SeekOrigin.Begin);
        var buffer = new byte[length];
        int read = 0;
        for (int n; read < length && (n = file.Read(buffer, read, (int)length - read)) > 0;) read += n;
        m_answer.Write(buffer, 0, read);
    }

    // The runtime ends a request that failed before the page ran with a final
    // flush alone, and a page's request with both.
    public override void FlushResponse(bool finalFlush) {
        if (finalFlush) EndOfRequest();
    }

    public override void EndOfRequest() {
        if (m_sent) return;
        m_sent = true;
        HttpListenerResponse response = m_context.Response;
        response.StatusCode = m_status;
        response.StatusDescription = m_statusText;
        foreach (var header in m_headers) {
            // The listener writes the framing itself, from the length below.
            if (header.Key == "Content-Length" || header.Key == "Transfer-Encoding" ||
                header.Key == "Connection")
                continue;
            if (header.Key == "Content-Type") response.ContentType = header.Value;
            else response.AddHeader(header.Key, header.Value);
        }
        response.ContentLength64 = m_answer.Length;
        response.OutputStream.Write(m_answer.GetBuffer(), 0, (int)m_answer.Length);
        response.Close();
    }
}

}
