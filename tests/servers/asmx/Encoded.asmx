<%@ WebService Language="C#" Class="Orvex.Test.Asmx.Encoded" %>
